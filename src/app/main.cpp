#include "kw_version.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

// Placeholder window until the main window lands.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane Watermark"));
    QApplication::setApplicationVersion(QStringLiteral(KW_VERSION_STRING));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kelvane Watermark"));
    auto *label = new QLabel(QStringLiteral("Kelvane Watermark " KW_VERSION_STRING), &window);
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.resize(803, 580);
    window.show();
    return QApplication::exec();
}
