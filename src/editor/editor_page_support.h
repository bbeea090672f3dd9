#pragma once

#include "model/watermark_conf.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>

class QLabel;
class QSlider;
class QWidget;

// Pieces both editor pages use.
namespace kw {

class CButtonBar;
class NumberBox;

// The command the layer button sends.
inline constexpr int kLayerButtonCommand = 21;

// The range the editor offers for an integer field of the layer, from the
// field table; {0, 0} for a field the table gives none.
std::pair<int32_t, int32_t> EditorRange(int32_t CWatermarkConf::*field);

QColor ColorFromRef(ColorRef color);
ColorRef RefFromColor(const QColor &color);

// White background and the pages' interface font.
void StylePage(QWidget *page);
QLabel *MakeLabel(QWidget *page, const char *objectName, const QString &text, int indent = 0);
// The "Layers: " label, drawn in blue.
QLabel *MakeLayersLabel(QWidget *page, const char *objectName);
// The 32 x 24 one-button bar that opens the layer menu; its pictures and
// tooltip may come from the language file.
CButtonBar *MakeLayerButton(QWidget *page, const char *objectName);
// Grey text, for the read-only boxes that show a font or a picture path.
void GreyText(QWidget *box);
// A horizontal slider without ticks over the editor range of `field`.
QSlider *MakeSlider(QWidget *page, const char *objectName, int32_t CWatermarkConf::*field);
// A number box with the editor range of `field`.
NumberBox *MakeNumberBox(QWidget *page, const char *objectName, int32_t CWatermarkConf::*field,
                         bool alignRight = false);

// Commits a change at once, or, inside a Scope, once when the outermost
// Scope ends, however many changes were asked for in between.
class CommitBatcher
{
public:
    explicit CommitBatcher(std::function<void()> commit) : m_commit(std::move(commit)) {}

    void request();

    class Scope
    {
    public:
        explicit Scope(CommitBatcher &batcher) : m_batcher(batcher) { ++m_batcher.m_depth; }
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        CommitBatcher &m_batcher;
    };

private:
    std::function<void()> m_commit;
    int m_depth = 0;
    bool m_wanted = false;
};

// Sets a flag for the lifetime of the object.
class FlagScope
{
public:
    explicit FlagScope(bool &flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

// What a clamped number box does with its text: the value to store, and
// whether the box's text is to be replaced by it now. A number below the
// range that more typed digits could still bring into it keeps its text
// while the user types (the stored value is clamped all the same);
// `settled` (the record is being shown, or typing ended) replaces it too.
struct ClampedEntry
{
    int32_t stored;
    bool replaceText;
};
ClampedEntry ClampEntry(int32_t typed, int32_t minimum, int32_t maximum, bool settled);

} // namespace kw
