#pragma once
// The about box, which also serves as the splash window at start-up: as
// splash it is a short strip without its OK button that only waits for its
// timer; as about box it shows the brand's contact block and opens the web
// site and e-mail links.

#include <QDialog>

#include <memory>
#include <string>

class QTimer;

namespace Ui {
class TF_About;
}

class TF_About : public QDialog {
    Q_OBJECT

public:
    // splash 1: the splash window (timer running); 0: the about box.
    explicit TF_About(int splash, QWidget* parent = nullptr);
    ~TF_About() override;

    int Splash() const { return splash_; }
    QTimer* Timer1() const { return timer1_; }
    bool TimerRunning() const;

    // "Version " and the first three parts of a version text ("4.1.5.0" gives
    // "Version 4.1.5"); "Version 3.0" without one.
    static std::string VersionLine(const std::string& fileVersion);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyBrand();
    void Timer1Timer();

    const std::unique_ptr<Ui::TF_About> ui;
    QTimer* timer1_;
    int splash_;
};
