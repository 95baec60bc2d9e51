#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("Sorvanta");
    w.setCentralWidget(new QLabel("Sorvanta"));
    w.resize(640, 480);
    w.show();
    return app.exec();
}
