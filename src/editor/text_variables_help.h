#pragma once

class QLineEdit;

namespace kw {

// Helps with the text variables (render/text_variables.h) in a layer's text
// box, without taking any room of the page:
// - a "{}" button at the end of the box opens a menu of the variables; a
//   click on one inserts it at the cursor (action "textVariablesAction",
//   menu "textVariablesMenu");
// - while the text holds references that are drawn as written, a warning
//   sign shows at the end of the box and its tooltip names them (action
//   "unknownVariablesAction");
// - the box's tooltip lists the variables.
// The helpers are children of `box` and live as long as it. UI thread.
void AttachTextVariableHelp(QLineEdit *box);

} // namespace kw
