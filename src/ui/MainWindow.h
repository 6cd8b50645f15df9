#pragma once

#include <QMainWindow>

class AppModel;
class QLabel;

// The main window. For now it shows what the model knows about the latest release, the
// installed app and the last error.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppModel &model, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void sync();

    AppModel &m_model;
    QLabel *m_latest;
    QLabel *m_installed;
    QLabel *m_error;
    bool m_started = false;
};
