#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pelmira");
    QWidget window;
    window.setWindowTitle(QString::fromUtf8("Exportar e importar datos entre Horvex e ITACA"));
    window.resize(632, 266);
    window.show();
    return app.exec();
}
