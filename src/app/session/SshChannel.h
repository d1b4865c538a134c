// The SSH client of a run, as the session talks to it: launched with the
// askpass environment, its standard output cut into lines, the tail of its
// standard error kept, lines written to its standard input, a terminate that
// turns into a kill if the same process is still there later, and its exit.
// One channel serves the session's runs one after the other.
#pragma once

#include "desktop/Clock.h"
#include "session/Utf8StreamDecoder.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <string_view>

namespace vistrel {

class SshChannel : public QObject {
    Q_OBJECT

public:
    explicit SshChannel(QObject* parent = nullptr);
    // Kills a client that still runs; no signal is emitted on the way.
    ~SshChannel() override;
    SshChannel(const SshChannel&) = delete;
    SshChannel& operator=(const SshChannel&) = delete;

    // Starts `program` with `arguments`, asking `askpass` for what it cannot
    // answer itself, with empty buffers. Throws StreamError when it cannot start.
    void launch(const QString& program, const QStringList& arguments, const QString& askpass);
    // Lets go of the client without signalling it: its input is closed, and
    // nothing it does is reported any more.
    void release();

    [[nodiscard]] bool isRunning() const;
    // Writes the line while the client runs and its input is open; a client
    // that has gone makes the write fail quietly.
    void send(std::string_view line);
    // The end of input for the client and the remote script; inputClosed()
    // follows once what was sent before has been written.
    void closeInput();
    // Asks the client to terminate; kills it `killDelay` seconds later if the
    // same process is still running then.
    void terminate(Clock& clock, double killDelay);

    // The last 16000 characters of the client's standard error.
    [[nodiscard]] const QString& errorText() const { return errorText_; }
    // The client's process; 0 when none runs.
    [[nodiscard]] qint64 processId() const { return process_ ? process_->processId() : 0; }

    // The client's standard output as read, cut into lines (lineRead); an
    // unfinished line is kept, its last 4096 characters.
    void consumeOutput(const QByteArray& bytes);
    [[nodiscard]] qsizetype bufferedOutputSize() const { return outputBuffer_.size(); }

signals:
    // Each complete line of standard output, without its line feed.
    void lineRead(const QString& line);
    void errorTextChanged();
    // The client exited; for one killed by a signal, `status` is its number.
    void exited(int status);
    // Everything sent was written and the client's input is closed (or could
    // not be written because the client has gone).
    void inputClosed();

private:
    void consumeErrors(const QByteArray& bytes);

    // Released with deleteLater: often from within its own finished signal.
    std::unique_ptr<QProcess, void (*)(QProcess*)> process_;
    bool inputOpen_ = false;
    Utf8StreamDecoder outputDecoder_;
    Utf8StreamDecoder errorDecoder_;
    QString outputBuffer_; // the unfinished line, its last 4096 characters
    QString errorText_;
};

} // namespace vistrel
