// tavctl as a user or script runs it, one process per step, driven by the
// case files in cases/ (their keys: cases/README.md): each case is a program
// folder, its files and a list of commands with what each must answer.
#include "support/full_disk.h"
#include "support/loopback_server.h"
#include "support/pg_server.h"
#include "support/run_tool.h"
#include "support/temp_home.h"
#include "support/watchdog.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThread>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CliCase {
    std::string name;
    QJsonObject body;
    QString engine; // Sqlite or Postgresql for a case with "databases"
};

// gtest names a failing case by this.
void PrintTo(const CliCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<CliCase> LoadCases()
{
    std::vector<CliCase> cases;
    const QDir folder(QStringLiteral(TAV_CASES_DIR));
    for (const QString& file : folder.entryList({"*.json"}, QDir::Files, QDir::Name)) {
        QFile f(folder.filePath(file));
        if (!f.open(QIODevice::ReadOnly))
            ADD_FAILURE() << "cannot read " << file.toStdString();
        QJsonParseError error;
        const QJsonArray list = QJsonDocument::fromJson(f.readAll(), &error).array();
        if (error.error != QJsonParseError::NoError)
            ADD_FAILURE() << file.toStdString() << ": " << error.errorString().toStdString();
        for (const QJsonValue& c : list) {
            const QString name = QString(file.chopped(5) + "_" + c["name"].toString())
                                     .replace(QRegularExpression("[^A-Za-z0-9_]"), "_");
            if (!c.toObject().contains("databases"))
                cases.push_back({name.toStdString(), c.toObject(), QString()});
            for (const QJsonValue& db : c["databases"].toArray())
                cases.push_back({(name + "_" + db.toString()).toStdString(), c.toObject(),
                                 db.toString() == "sqlite" ? "Sqlite" : "Postgresql"});
        }
    }
    return cases;
}

class CliCaseTest : public ::testing::TestWithParam<CliCase> {
  protected:
    // Each match of `pattern` in `text` replaced by what `with` makes of it.
    template <class With>
    static void replaceEach(QString& text, const QRegularExpression& pattern, With with)
    {
        for (auto m = pattern.match(text); m.hasMatch(); m = pattern.match(text))
            text.replace(m.captured(0), with(m));
    }

    QString expand(QString text) const
    {
        using Match = QRegularExpressionMatch;
        static const QRegularExpression ago("\\$\\{(years|days)Ago:(\\d+)\\}");
        replaceEach(text, ago, [](const Match& m) {
            const int n = m.captured(2).toInt();
            const QDate today = QDate::currentDate();
            return (m.captured(1) == "years" ? today.addYears(-n) : today.addDays(-n))
                .toString("yyyy-MM-dd");
        });
        static const QRegularExpression env("\\$\\{env:(\\w+)\\}");
        replaceEach(text, env, [](const Match& m) {
            return qEnvironmentVariable(m.captured(1).toLatin1().constData());
        });
        static const QRegularExpression base64("\\$\\{base64:([^}]+)\\}");
        replaceEach(text, base64, [this](const Match& m) {
            return QString::fromLatin1(home.read(m.captured(1)).toBase64());
        });
        text.replace("${home}", home.path());
        text.replace("${tavctl}", TAVCTL_PATH);
        text.replace("${tav}", QFileInfo(TAVCTL_PATH).dir().filePath("tav"));
        text.replace("${version}", TAV_PROJECT_VERSION);
        if (disk)
            text.replace("${full}", disk->Path());
        text.replace("${database}", database);
        static const QRegularExpression today("\\$\\{today(?::([^}]+))?\\}");
        replaceEach(text, today, [](const Match& m) {
            const QString format = m.captured(1);
            return QDate::currentDate().toString(format.isEmpty() ? "yyyy-MM-dd" : format);
        });
        static const QRegularExpression port("\\$\\{port:(\\w+)\\}");
        replaceEach(text, port, [this](const Match& m) {
            quint16& taken = ports[m.captured(1)];
            taken = taken ? taken : LoopbackServer::FreePort();
            return QString::number(taken);
        });
        static const QRegularExpression product("\\$\\{(\\w+)\\*(\\w+)([-+][0-9.]+)?\\}");
        const auto factor = [this](const QString& name) {
            bool number = false;
            const double value = name.toDouble(&number);
            return number ? value : saved.at(name).toDouble();
        };
        replaceEach(text, product, [&factor](const Match& m) {
            const double value =
                factor(m.captured(1)) * factor(m.captured(2)) + m.captured(3).toDouble();
            return QString::number(value, 'g', 17);
        });
        for (const auto& [name, value] : saved)
            text.replace("${" + name + "}", value);
        return text;
    }
    QJsonValue expand(const QJsonValue& value) const
    {
        return value.isString() ? QJsonValue(expand(value.toString())) : value;
    }

    // How a value is saved for ${name}: numbers to the last digit, lists and
    // objects as compact JSON.
    static QString asText(const QJsonValue& v)
    {
        if (v.isDouble())
            return QString::number(v.toDouble(), 'g', 17);
        if (v.isArray())
            return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
        if (v.isObject())
            return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
        return v.toString();
    }

    // The value at `path` ("a.b.0"), or undefined.
    static QJsonValue at(QJsonValue value, const QString& path)
    {
        for (const QString& key : path.split('.')) {
            bool index = false;
            const int i = key.toInt(&index);
            value = index && value.isArray() ? value.toArray().at(i) : value.toObject().value(key);
            if (value.isUndefined())
                break;
        }
        return value;
    }

    // Whether some element of `list` has every field of `want`.
    static bool holds(const QJsonArray& list, const QJsonObject& want)
    {
        for (const QJsonValue& v : list) {
            bool all = true;
            for (auto it = want.begin(); it != want.end(); ++it)
                all = all && v[it.key()] == it.value();
            if (all)
                return true;
        }
        return false;
    }

    void runSql(const QJsonObject& step, const std::string& where)
    {
        Database db;
        ASSERT_TRUE(db.Open(database)) << where;
        for (const QJsonValue& sql : step["sql"].toArray())
            EXPECT_TRUE(db.Execute(expand(sql.toString()))) << where << " " << sql.toString().toStdString();
        for (const QJsonValue& sql : step["refused"].toArray())
            EXPECT_FALSE(db.Execute(expand(sql.toString()))) << where << " " << sql.toString().toStdString();
        const QJsonObject rows = step["rows"].toObject();
        for (auto it = rows.begin(); it != rows.end(); ++it) {
            Recordset rs(db);
            rs.Open(expand(it.key()));
            EXPECT_EQ(rs.GetRecordCount(), expand(it.value()).toVariant().toInt())
                << where << " " << it.key().toStdString();
        }
    }

    QString file(const QString& name) const { return home.path(expand(name)); }

    // A file's text: a PDF's as pdftotext reads it, a file that is not UTF-8
    // byte for byte as Latin-1.
    QString textOf(const QString& name) const
    {
        if (file(name).endsWith(".pdf"))
            return PdfText(file(name)).simplified();
        const QByteArray bytes = home.read(expand(name));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        return utf8.hasError() ? QString::fromLatin1(bytes) : text;
    }

    // Every file under the folder with its bytes.
    QByteArray folderDigest() const
    {
        QStringList paths;
        for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            paths << it.next();
        paths.sort();
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QString& path : paths) {
            hash.addData(path.toUtf8());
            hash.addData(home.read(path));
        }
        return hash.result();
    }

    // Files as text, or {"latin1": text} for bytes that are not UTF-8, or {"base64": text}.
    void writeFiles(const QJsonObject& files) const
    {
        for (auto it = files.begin(); it != files.end(); ++it) {
            const QJsonValue v = it.value();
            QByteArray bytes = expand(v.toString()).toUtf8();
            if (v["latin1"].isString())
                bytes = expand(v["latin1"].toString()).toLatin1();
            else if (v["base64"].isString())
                bytes = QByteArray::fromBase64(expand(v["base64"].toString()).toLatin1());
            QFile::remove(file(it.key())); // a FIFO or a link there is replaced, never written through
            home.write(expand(it.key()), bytes);
        }
    }

    void make(const QJsonObject& what, const std::string& where) const
    {
        for (const QJsonValue& f : what["fifo"].toArray())
            EXPECT_EQ(::mkfifo(QFile::encodeName(file(f.toString())).constData(), 0600), 0)
                << where;
        const QJsonObject sparse = what["sparse"].toObject();
        for (auto it = sparse.begin(); it != sparse.end(); ++it) {
            QFile grown(file(it.key()));
            EXPECT_TRUE(grown.open(QIODevice::ReadWrite) && grown.resize(it.value().toInteger()))
                << where;
        }
        const QJsonObject links = what["link"].toObject();
        for (auto it = links.begin(); it != links.end(); ++it)
            EXPECT_TRUE(QFile::link(expand(it.value().toString()), file(it.key()))) << where;
        const QJsonObject copies = what["copy"].toObject();
        for (auto it = copies.begin(); it != copies.end(); ++it) {
            // A program is hard-linked where it can be (its copy costs no disk then);
            // a data file is copied, so that no write reaches the tree's own.
            const QString from = expand(it.value().toString()), to = file(it.key());
            QDir().mkpath(QFileInfo(to).absolutePath());
            const bool linked = QFileInfo(from).isExecutable() &&
                                ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
            EXPECT_TRUE(linked || QFile::copy(from, to))
                << where << ": " << from.toStdString();
        }
    }

    void checkFiles(const QJsonObject& step, const std::string& where)
    {
        for (const QString key : {"exists", "absent"})
            for (const QJsonValue& f : step[key].toArray())
                EXPECT_EQ(QFileInfo::exists(file(f.toString())), key == "exists")
                    << where << "\n" << key.toStdString() << " " << f.toString().toStdString();
        for (const QJsonValue& f : step["private"].toArray())
            EXPECT_FALSE(QFileInfo(file(f.toString())).permissions() & (QFile::ReadGroup | QFile::ReadOther))
                << where << "\nothers may read " << f.toString().toStdString();
        const QJsonObject holds = step["fileHolds"].toObject();
        for (auto it = holds.begin(); it != holds.end(); ++it) {
            const QString text = textOf(it.key());
            for (const QJsonValue& t : it.value().toArray())
                EXPECT_TRUE(text.contains(expand(t.toString()))) << where << "\n" << it.key().toStdString() << " lacks " << t.toString().toStdString();
        }
        const QJsonObject folders = step["folderHolds"].toObject();
        for (auto it = folders.begin(); it != folders.end(); ++it) {
            QStringList names;
            for (const QJsonValue& f : it.value().toArray())
                names << f.toString();
            EXPECT_EQ(QDir(file(it.key()))
                          .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)
                          .join(' ')
                          .toStdString(),
                      names.join(' ').toStdString())
                << where << "\nin " << it.key().toStdString();
        }
        const auto bytes = [&](const QJsonValue& name) {
            return file(name.toString()).endsWith(".pdf") ? PdfText(file(name.toString())).toUtf8()
                                                          : home.read(expand(name.toString()));
        };
        if (step.contains("sameBytes")) {
            EXPECT_EQ(bytes(step["sameBytes"][0]), bytes(step["sameBytes"][1])) << where;
        }
    }

    void serve(const QJsonObject& step, const std::string& where)
    {
        for (const QJsonValue& name : step["stop"].toArray())
            servers.erase(name.toString());
        const QJsonObject start = step["serve"].toObject();
        for (auto it = start.begin(); it != start.end(); ++it) {
            const QJsonObject how = it.value().toObject();
            QStringList args;
            for (const QJsonValue& a : how["args"].toArray())
                args << expand(a.toString());
            auto& server = servers[it.key()] = std::make_unique<LoopbackServer>();
            const quint16 port = expand(how["port"].toString()).toUShort();
            ASSERT_TRUE(server->Start(expand(how["program"].toString()), args, port))
                << where << ": " << it.key().toStdString() << " never listened\n"
                << server->Output().toStdString();
        }
    }

    void runStep(QJsonObject step, const std::string& where)
    {
        // A step stuck on a hostile file (a FIFO written or read) fails the run instead of stalling it.
        Watchdog watchdog(where, 300000);
        // A key for this engine adds to the common one (objects merge, lists join) or replaces it.
        for (const QString& key : step.keys()) {
            if (GetParam().engine.isEmpty() || !key.endsWith(GetParam().engine))
                continue;
            const QString common = key.chopped(GetParam().engine.size());
            QJsonValue value = step.value(key);
            if (value.isObject()) {
                QJsonObject merged = step[common].toObject();
                const QJsonObject extra = value.toObject();
                for (auto it = extra.begin(); it != extra.end(); ++it)
                    merged.insert(it.key(), it.value());
                value = merged;
            } else if (value.isArray()) {
                QJsonArray joined = step[common].toArray();
                for (const QJsonValue& v : value.toArray())
                    joined.append(v);
                value = joined;
            }
            step.insert(common, value);
        }
        serve(step, where);
        writeFiles(step["files"].toObject());
        make(step["make"].toObject(), where);
        if (step.contains("sql") || step.contains("refused"))
            runSql(QJsonObject{{"sql", step["sql"]}, {"refused", step["refused"]}}, where);
        if (step.contains("args"))
            runCommand(step, where);
        else if (step.contains("jsonFile"))
            checkOutput(step, ToolResult{0, {}, {}}, where);
        checkFiles(step, where);
        if (step.contains("rows"))
            runSql(QJsonObject{{"rows", step["rows"]}}, where);
    }

    // Whether the query finds a row in the database.
    static bool finds(Database& db, const QString& sql)
    {
        Recordset rs(db);
        rs.Open(sql);
        return rs.GetRecordCount() > 0;
    }

    // The command, "together" copies at once; with "killWhen" killed once that
    // query finds a row, the step going on once it finds none.
    std::vector<ToolResult> run(const QString& program, const QStringList& args,
                                const QByteArray& input, const QProcessEnvironment& env,
                                const QJsonObject& step, const std::string& where)
    {
        const QString killWhen = expand(step["killWhen"].toString());
        if (!step.contains("together") && killWhen.isEmpty())
            return {RunTool(program, args, input, 120000, env, home.path())};
        std::vector<std::unique_ptr<QProcess>> running;
        for (int i = 0; i < step["together"].toInt(1); ++i) {
            running.push_back(std::make_unique<QProcess>());
            running.back()->setProcessEnvironment(env);
            running.back()->setWorkingDirectory(home.path());
            running.back()->start(program, args);
            running.back()->waitForStarted();
            running.back()->write(input);
            running.back()->closeWriteChannel();
        }
        if (!killWhen.isEmpty()) {
            Database watched;
            EXPECT_TRUE(watched.Open(database)) << where;
            bool found = false;
            for (int i = 0; i < 600 && !(found = finds(watched, killWhen)); ++i)
                QThread::msleep(100);
            EXPECT_TRUE(found) << where << "\nnever came to " << killWhen.toStdString();
            for (const auto& p : running)
                p->kill();
            for (int i = 0; i < 100 && finds(watched, killWhen); ++i)
                QThread::msleep(100);
            QThread::msleep(500); // a server ends a dead client's transaction a moment later
        }
        std::vector<ToolResult> results(running.size());
        for (size_t i = 0; i < running.size(); ++i) {
            if (running[i]->waitForFinished(300000) &&
                running[i]->exitStatus() == QProcess::NormalExit)
                results[i].exitCode = running[i]->exitCode();
            results[i].out = running[i]->readAllStandardOutput();
            results[i].err = running[i]->readAllStandardError();
        }
        return results;
    }

    void runCommand(const QJsonObject& step, const std::string& where)
    {
        const bool tavctl = !step.contains("program");
        QStringList args;
        if (tavctl && step["home"].toBool(true))
            args << "--home" << home.path();
        if (tavctl && !GetParam().engine.isEmpty() &&
            !step["args"].toArray().contains("--database"))
            args << "--database" << database;
        for (const QJsonValue& a : step["args"].toArray())
            args << expand(a.toString());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QJsonObject vars = step["env"].toObject();
        for (auto it = vars.begin(); it != vars.end(); ++it) {
            if (it.value().isNull())
                env.remove(it.key());
            else
                env.insert(it.key(), expand(it.value().toString()));
        }
        QByteArray input = expand(step["stdin"].toString()).toUtf8();
        if (step.contains("stdinFile"))
            input = home.read(expand(step["stdinFile"].toString()));
        const QByteArray before = step["unchanged"].toBool() ? folderDigest() : QByteArray();
        Database other;
        if (step.contains("whileHeld")) {
            ASSERT_TRUE(other.Open(database)) << where;
            for (const QJsonValue& sql : step["whileHeld"].toArray())
                ASSERT_TRUE(other.Execute(expand(sql.toString())))
                    << where << " " << sql.toString().toStdString();
        }
        FullDisk* full = step["full"].toBool() ? disk.get() : nullptr;
        ASSERT_EQ(full != nullptr, step["full"].toBool())
            << where << ": a full disk needs \"fullDisk\"";
        if (full)
            full->Fill();
        const QString program = tavctl ? QString(TAVCTL_PATH) : expand(step["program"].toString());
        const std::vector<ToolResult> results = run(program, args, input, env, step, where);
        if (full)
            full->Free();
        if (step.contains("whileHeld"))
            other.Execute("ROLLBACK");
        if (step["unchanged"].toBool()) {
            EXPECT_EQ(folderDigest(), before) << where << ": the folder changed";
        }
        const std::string command =
            where + " `" + args.mid(tavctl ? 2 : 0).join(' ').toStdString() + "`";
        for (const ToolResult& r : results)
            checkOutput(step, r, command + "\nstderr: " + r.err.toStdString());
    }

    void checkOutput(const QJsonObject& step, const ToolResult& r, const std::string& said)
    {

        EXPECT_EQ(r.exitCode, step["exit"].toInt(0)) << said;
        const QString out = QString::fromUtf8(r.out);
        const QString err = QString::fromUtf8(r.err);
        for (const QJsonValue& t : GetParam().body["neverPrinted"].toArray())
            EXPECT_FALSE(out.contains(t.toString()) || err.contains(t.toString())) << said << "\nprinted " << t.toString().toStdString();
        if (step.contains("out")) {
            EXPECT_EQ(out, expand(step["out"].toString())) << said;
        }
        for (const auto& [name, text] : {std::pair{QString("out"), out}, std::pair{QString("err"), err}}) {
            for (const QString how : {"Contains", "Lacks"})
                for (const QJsonValue& t : step[name + how].toArray())
                    EXPECT_EQ(text.contains(expand(t.toString())), how == "Contains")
                        << said << "\n" << name.toStdString() << how.toStdString() << " " << expand(t.toString()).toStdString();
            if (step.contains(name + "Empty")) {
                EXPECT_EQ(text.isEmpty(), step[name + "Empty"].toBool()) << said;
            }
        }
        if (step.contains("lines")) {
            EXPECT_EQ(out.count('\n'), step["lines"].toInt()) << said;
        }

        const QJsonDocument doc = QJsonDocument::fromJson(
            step.contains("jsonFile") ? home.read(expand(step["jsonFile"].toString())) : r.out);
        const QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        const QJsonObject fields = step["json"].toObject();
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            const QJsonValue got = at(root, it.key()), want = expand(it.value());
            // A saved value comes back as text: compared as the text it was saved as.
            if (want.isString() && !got.isString() && !got.isUndefined())
                EXPECT_EQ(asText(got).toStdString(), want.toString().toStdString()) << said << "\nfield " << it.key().toStdString();
            else
                EXPECT_EQ(got, want) << said << "\nfield " << it.key().toStdString();
        }
        const QJsonObject near = step["near"].toObject();
        for (auto it = near.begin(); it != near.end(); ++it) {
            // A number, or a text that holds one (an HL7 field); the wanted value may be saved.
            const QJsonValue v = at(root, it.key());
            bool number = v.isDouble();
            const double got = number ? v.toDouble() : v.toString().toDouble(&number);
            EXPECT_TRUE(number) << said << "\nfield " << it.key().toStdString();
            EXPECT_NEAR(got, expand(it.value()[0]).toVariant().toDouble(), it.value()[1].toDouble())
                << said << "\nfield " << it.key().toStdString();
        }
        const QJsonObject close = step["close"].toObject();
        for (auto it = close.begin(); it != close.end(); ++it) {
            const double other = at(root, it.value()[0].toString()).toDouble();
            EXPECT_GT(other, 0) << said << "\nfield " << it.value()[0].toString().toStdString();
            EXPECT_NEAR(at(root, it.key()).toDouble(), other, it.value()[1].toDouble() * other)
                << said << "\nfield " << it.key().toStdString();
        }
        for (const QJsonValue& p : step["present"].toArray()) {
            const QJsonValue v = at(root, p.toString());
            EXPECT_FALSE(v.isUndefined() || v.isNull() || (v.isArray() && v.toArray().isEmpty()))
                << said << "\nfield " << p.toString().toStdString();
        }
        for (const QString key : {"has", "hasNot"}) {
            const QJsonObject lists = step[key].toObject();
            for (auto it = lists.begin(); it != lists.end(); ++it)
                for (const QJsonValue& want : it.value().toArray())
                    EXPECT_EQ(holds(at(root, it.key()).toArray(), want.toObject()), key == "has")
                        << said << "\n" << key.toStdString() << " " << asText(want).toStdString();
        }
        for (const QJsonValue& p : step["missing"].toArray())
            EXPECT_TRUE(at(root, p.toString()).isUndefined()) << said << "\nfield " << p.toString().toStdString();
        const QJsonObject sizes = step["size"].toObject();
        for (auto it = sizes.begin(); it != sizes.end(); ++it) {
            const QJsonValue v = it.key().isEmpty() ? root : at(root, it.key());
            EXPECT_EQ(v.isArray() ? v.toArray().size() : v.toObject().size(), it.value().toInt())
                << said << "\nsize of " << it.key().toStdString();
        }
        const QJsonObject save = step["save"].toObject();
        for (auto it = save.begin(); it != save.end(); ++it) {
            const QJsonValue v = it.value().toString().isEmpty() ? QJsonValue(out.trimmed()) : at(root, it.value().toString());
            saved[it.key()] = asText(v);
        }
    }

    TempHome home;
    std::unique_ptr<FullDisk> disk;
    QString database = home.path("data.mdb");
    std::map<QString, QString> saved;
    mutable std::map<QString, quint16> ports; // given out as the texts name them
    std::map<QString, std::unique_ptr<LoopbackServer>> servers;
};

TEST_P(CliCaseTest, AnswersAsTheCaseSays)
{
    const QJsonObject body = GetParam().body;
    if (GetParam().engine == "Postgresql") {
        database = PgTestServer::Shared().NewDatabase();
        ASSERT_FALSE(database.isEmpty()) << PgTestServer::Shared().Error().toStdString();
    }
    for (const QJsonValue& f : body["needs"].toArray())
        if (!QFileInfo::exists(expand(f.toString())))
            GTEST_SKIP() << "there is no " << expand(f.toString()).toStdString();
    if (body["fullDisk"].toBool())
        disk = std::make_unique<FullDisk>();
    writeFiles(body["files"].toObject());
    const QJsonArray steps = body["steps"].toArray();
    for (int i = 0; i < steps.size(); ++i)
        runStep(steps[i].toObject(), GetParam().name + " step " + std::to_string(i + 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, CliCaseTest, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
