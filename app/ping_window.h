// A small window that pings one host with iputils ping and shows its replies and times
// as they come.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QProcess;

namespace tessvale {

class PingWindow : public QDialog
{
    Q_OBJECT

public:
    // Starts pinging at once; the window deletes itself when closed.
    PingWindow(const QString& ip, QWidget* parent = nullptr);
    ~PingWindow() override;

    QString Output() const;
    // True once ping has ended (or could not start).
    bool Finished() const { return m_finished; }

private:
    void Append(const QString& text);

    QPlainTextEdit* m_output = nullptr;
    QProcess* m_process = nullptr;
    bool m_finished = false;
};

} // namespace tessvale
