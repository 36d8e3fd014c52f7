#include "ctlserve.h"

#include "ctlcommand.h"
#include "ctlsession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

namespace Ctl {

namespace {

// One line without its LF, however long; false at the end of the input.
bool readLine(std::FILE *in, std::string *line)
{
    line->clear();
    char chunk[1024];
    while (std::fgets(chunk, sizeof chunk, in)) {
        line->append(chunk);
        if (line->back() == '\n') {
            line->pop_back();
            return true;
        }
    }
    return !line->empty();
}

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
    QJsonObject object = toJson(result);
    if (result.reconnected)
        object.insert(QStringLiteral("reconnected"), true);
    if (result.exitCode != Success)
        return failure(object, result.error, result.exitCode);
    locks.take(request);
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
    std::string line;
    for (int number = 1; readLine(in, &line); ++number) {
        const QString text = QString::fromUtf8(line.data(), qsizetype(line.size())).trimmed();
        if (text == QLatin1String("quit"))
            break;
        std::optional<Request> request;
        const QString error = parseScriptLine(text, number, &request);
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
