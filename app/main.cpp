#include "app/AppVersion.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString title = QString::fromStdString("Sendora Pro " + AppVersion());
    app.setApplicationName(title);
    // Stand-in until the main window lands.
    QLabel window(QStringLiteral("%1\n\nThe main window is being built.").arg(title));
    window.setWindowTitle(title);
    window.setMargin(40);
    window.show();
    return app.exec();
}
