#include "ctlserve.h"

#include "ctlcommand.h"
#include "ctllines.h"
#include "ctlsession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Ctl {

namespace {

QJsonObject failure(QJsonObject reply, const QString &error, int exitCode)
{
    reply.insert(QStringLiteral("ok"), false);
    reply.insert(QStringLiteral("error"), error);
    reply.insert(QStringLiteral("exit"), exitCode);
    return reply;
}

// A listing answers once, with every board in it; none present is an empty list, not a failure.
QJsonObject listReply(Session &session, const Request &request)
{
    QJsonArray boards;
    for (const Result &result : session.runAll(request)) {
        if (result.exitCode != Success)
            continue;
        QJsonObject board = toJson(result);
        board.remove(QStringLiteral("command"));
        boards.append(board);
    }
    return { { QStringLiteral("command"), QStringLiteral("list") },
        { QStringLiteral("boards"), boards }, { QStringLiteral("ok"), true } };
}

QJsonObject reply(Session &session, Locks &locks, const Request &request)
{
    const QString locked = locks.check(request);
    if (!locked.isEmpty())
        return failure(
            { { QStringLiteral("command"), QLatin1String(request.command->name) } }, locked, Usage);
    if (request.command->kind == Kind::List)
        return listReply(session, request);

    const Result result = session.run(request);
    locks.take(request, result.exitCode == Success, result.reachedBoard);
    QJsonObject object = toJson(result);
    if (result.reconnected)
        object.insert(QStringLiteral("reconnected"), true);
    if (result.exitCode != Success)
        return failure(object, result.error, result.exitCode);
    object.insert(QStringLiteral("ok"), true);
    return object;
}

} // namespace

QByteArray greeting(const char *version)
{
    const QJsonObject object { { QStringLiteral("program"), QStringLiteral("qd7310-ctl") },
        { QStringLiteral("version"), QLatin1String(version) },
        { QStringLiteral("protocol"), kProtocol } };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

int serve(Session &session, std::FILE *in, const ReplyWriter &write)
{
    Locks locks;
    LineReader reader(in);
    QByteArray line;
    QString fault;
    for (int number = 1; reader.next(&line, &fault); ++number) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (fault.isEmpty() && text == QLatin1String("quit"))
            break;
        std::optional<Request> request;
        const QString error = fault.isEmpty() ? parseScriptLine(text, number, &request) : fault;
        if (error.isEmpty() && !request)
            continue; // blank or comment
        QJsonObject object
            = error.isEmpty() ? reply(session, locks, *request) : failure({}, error, Usage);
        object.insert(QStringLiteral("request"), number);
        const int written = write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
        if (written != Success)
            return written;
    }
    return Success;
}

} // namespace Ctl
