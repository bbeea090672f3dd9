#include "app/watermark_app.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    kw::CWatermarkApp app(application);
    return app.run();
}
