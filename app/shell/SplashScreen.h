#pragma once
// The splash window shown while the program starts.
#include <QWidget>

class QLabel;

namespace rollmode::shell {

class TSplashScreenLyra : public QWidget {
    Q_OBJECT
public:
    explicit TSplashScreenLyra(QWidget* parent = nullptr);

    // Shows the text in the status line and paints it at once: start-up runs
    // before the message loop does.
    void SetStatusText(const QString& text);

    QLabel* Image1() const { return image1_; }
    QLabel* Image2() const { return image2_; }
    QLabel* SplashStatusLabel() const { return statusLabel_; }

    // Decodes a JPEG picture from a file or a Qt resource path. A picture that
    // fails to decode gives a null image and the reason in `error`.
    static QImage LoadPicture(const QString& path, QString* error = nullptr);

private:
    void FormCreate();

    QLabel* image1_;
    QLabel* image2_;
    QLabel* statusLabel_;
};

}  // namespace rollmode::shell
