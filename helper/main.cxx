// LumibayHelper: publishes the photo library as a web site and keeps it current. It has no window
// and no options; everything it needs is in the settings file.
#include "LumibayControler.hxx"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    tessaly::LumibayControler controller(tessaly::Bundle::mainBundle());
    // Start-up runs inside the event loop, so that quitting from it ends the loop.
    QMetaObject::invokeMethod(&controller,
                              &tessaly::LumibayControler::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    return app.exec();
}
