#include "core/hospital/mllp_sender.h"

#include "core/hospital/hl7_text.h"

#include <QDeadlineTimer>
#include <QList>
#include <QTcpSocket>

namespace {

constexpr char kStart = 0x0B;
constexpr char kEnd[] = "\x1C\x0D";
constexpr qsizetype kMaxAnswer = 1 << 20;

SendOutcome failed(const QString& reason, const QString& answer = QString())
{
    SendOutcome o;
    o.reason = reason;
    o.answer = answer;
    return o;
}

// Field `n` of the segment `name` of an HL7 message, escapes left as they are.
QString field(const QByteArray& message, const char* name, int n)
{
    for (const QByteArray& segment : message.split('\r')) {
        const QList<QByteArray> fields = segment.trimmed().split('|');
        if (fields.first() == name)
            return fields.size() > n ? QString::fromUtf8(fields[n]) : QString();
    }
    return QString();
}

// The control id of a message: MSH-10 (split field 9, the separator being MSH-1).
QString controlId(const QByteArray& message)
{
    return field(message, "MSH", 9);
}

} // namespace

SendOutcome SendMllp(const NetworkPeer& receiver, const QByteArray& message, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(receiver.host, receiver.port);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return failed("cannot reach the HL7 receiver " + receiver.Text() + ": " +
                      socket.errorString());
    socket.write(kStart + message + kEnd);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return failed("the message could not be handed to " + receiver.Text() + ": " +
                          socket.errorString());
    QByteArray answer;
    while (!answer.contains(kEnd)) {
        if (answer.size() > kMaxAnswer)
            return failed("the answer of " + receiver.Text() + " is not an HL7 acknowledgement");
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return failed(QString("no acknowledgement from %1 within %2 s")
                              .arg(receiver.Text())
                              .arg(timeoutMs / 1000.0));
        answer += socket.readAll();
    }
    socket.disconnectFromHost();
    const qsizetype start = answer.indexOf(kStart);
    const QByteArray ack = answer.mid(start + 1, answer.indexOf(kEnd) - start - 1);
    const QString code = field(ack, "MSA", 1);
    if (start < 0 || code.isEmpty())
        return failed("the answer of " + receiver.Text() + " is not an HL7 acknowledgement");
    if (field(ack, "MSA", 2) != controlId(message))
        return failed("the acknowledgement of " + receiver.Text() + " is for another message (" +
                          field(ack, "MSA", 2) + ")",
                      code);
    if (code == "AA" || code == "CA") {
        SendOutcome o;
        o.sent = true;
        o.answer = code;
        return o;
    }
    QString text = Hl7Unescape(field(ack, "MSA", 3));
    if (text.isEmpty())
        text = Hl7Unescape(field(ack, "ERR", 8));
    return failed(QString("%1 refused the message (%2)%3")
                      .arg(receiver.Text(), code, text.isEmpty() ? QString() : ": " + text),
                  code);
}
