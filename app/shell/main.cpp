// Program entry. The main window arrives with the display and shell work; until
// then the program opens an empty window so that it can be started and closed.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("RollMode");
    window.resize(824, 600);
    auto* label = new QLabel("Corvo RollMode " ROLLMODE_VERSION " — main window under construction", &window);
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.show();
    return app.exec();
}
