// A stand-in for the Horvex window that holds Pelmira in embedded mode: an empty window that
// prints its native id in hexadecimal digits on standard output and lives until it is closed.

#include <QApplication>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget host;
    host.setWindowTitle(QStringLiteral("Horvex"));
    host.resize(700, 320);
    host.move(20, 20);
    QPalette p = host.palette();
    p.setColor(QPalette::Window, QColor(90, 90, 120));
    host.setPalette(p);
    host.setAutoFillBackground(true);
    host.show();
    std::printf("%llX\n", static_cast<unsigned long long>(host.winId()));
    std::fflush(stdout);
    return app.exec();
}
