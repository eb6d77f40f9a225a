// Renders the settings window, one picture per tab, for the README: the window as a person sees
// it on first opening (HOME decides which settings it shows), in the light style and again in a
// dark one ("-dark" pictures). Not part of the installed program.
#include "Accessibility.hxx"
#include "HostWindow.hxx"

#include <QApplication>
#include <QDir>
#include <QStyle>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr,
                     "usage: %s <pane Resources folder> <output folder> [home shown instead]\n",
                     argv[0]);
        return 2;
    }
    QString error;
    // Posting is pointless here and no bus may be around: a notifier that drops everything.
    struct Quiet : tessaly::Notifier {
        void post(const char*) override {}
        void postImageSize(std::int32_t) override {}
        void postCheckInterval(float) override {}
    } quiet;
    auto window = tessaly::HostWindow::open(tessaly::Bundle(argv[1]), &quiet, &error);
    if (!window) {
        std::fprintf(stderr, "render-window: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    window->show();
    window->pane()->didSelect();
    // The pictures are rendered in a temporary home with a long name; show a short one instead.
    if (argc == 4 && window->pane()->sitePathView) {
        QLineEdit* path = window->pane()->sitePathView;
        const QString home = QDir::homePath();
        if (path->text().startsWith(home + QLatin1Char('/'))) {
            path->setText(QString::fromLocal8Bit(argv[3]) + path->text().mid(home.size()));
        }
    }
    QTabWidget* tabs = window->pane()->tabView;
    const QDir out(QString::fromLocal8Bit(argv[2]));
    struct Style {
        QPalette palette;
        const char* suffix;
    };
    const Style styles[] = {{QApplication::style()->standardPalette(), ""},
                            {tessaly::darkPalette(), "-dark"}};
    for (const Style& style : styles) {
        QApplication::setPalette(style.palette);
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            const QString name = tabs->widget(i)->objectName().remove(QLatin1String("Tab"));
            const QString path =
                out.filePath(QStringLiteral("window-%1%2.png").arg(name, style.suffix));
            if (!window->grab().save(path)) {
                std::fprintf(stderr, "render-window: cannot write %s\n",
                             path.toLocal8Bit().constData());
                return 1;
            }
            std::printf("%s\n", path.toLocal8Bit().constData());
        }
    }
    return 0;
}
