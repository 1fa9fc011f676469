// The device access rule and the software-centre metadata name the same USB
// identities that port discovery looks for.
#include "core/device/hid_port.h"
#include "core/device/serial_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct UdevRule {
    QString subsystem;
    QString vendor;
    QString product;
    bool uaccess = false;
};

QStringList linesOf(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll()).split('\n');
}

// Rules are comma-separated KEY op "value" pairs; anything else on a rule line
// means udev would not read the rule as written.
QList<UdevRule> parseRules(const QString& path)
{
    static const QRegularExpression pair(
        R"re(^\s*([A-Z_]+(?:\{[A-Za-z_]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*$)re");
    QList<UdevRule> rules;
    for (const QString& line : linesOf(path)) {
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#'))
            continue;
        UdevRule rule;
        for (const QString& part : line.split(',')) {
            const QRegularExpressionMatch match = pair.match(part);
            EXPECT_TRUE(match.hasMatch()) << "unreadable: " << part.toStdString();
            const QString key = match.captured(1), op = match.captured(2), value = match.captured(3);
            if (key == "SUBSYSTEM" && op == "==")
                rule.subsystem = value;
            else if (key == "ATTRS{idVendor}" && op == "==")
                rule.vendor = value;
            else if (key == "ATTRS{idProduct}" && op == "==")
                rule.product = value;
            else if (key == "TAG" && op == "+=" && value == "uaccess")
                rule.uaccess = true;
        }
        rules << rule;
    }
    return rules;
}

// The one rule file the package installs.
QString ruleFile()
{
    const QStringList names =
        QDir(TAV_PACKAGING_DIR).entryList({"*-tav-spirometer.rules"}, QDir::Files);
    EXPECT_EQ(names.size(), 1);
    return names.isEmpty() ? QString() : QStringLiteral(TAV_PACKAGING_DIR "/") + names.first();
}

// sysfs shows USB ids as four lower-case hex digits, and udev compares strings.
QString sysfsId(int id) { return QString::asprintf("%04x", id); }

TEST(DeviceAccessRule, GrantsTheSeatBothInterfacesByTheirIds)
{
    const QList<UdevRule> rules = parseRules(ruleFile());
    ASSERT_EQ(rules.size(), 2);
    const struct {
        const char* subsystem;
        int vendor;
        int product;
    } expected[] = {{"tty", SerialPort::kVendorId, SerialPort::kProductId},
                    {"hidraw", HidPort::kVendorId, HidPort::kProductId}};
    for (const auto& want : expected) {
        bool found = false;
        for (const UdevRule& rule : rules) {
            if (rule.subsystem != want.subsystem)
                continue;
            found = true;
            EXPECT_EQ(rule.vendor, sysfsId(want.vendor)) << want.subsystem;
            EXPECT_EQ(rule.product, sysfsId(want.product)) << want.subsystem;
            EXPECT_TRUE(rule.uaccess) << want.subsystem;
        }
        EXPECT_TRUE(found) << "no rule for " << want.subsystem;
    }
}

TEST(DeviceAccessRule, RunsBeforeTheSeatRulesApplyTheTag)
{
    // uaccess is turned into an ACL by 73-seat-late.rules; a later file is too late.
    bool numbered = false;
    const int order = QFileInfo(ruleFile()).fileName().section('-', 0, 0).toInt(&numbered);
    EXPECT_TRUE(numbered);
    EXPECT_LT(order, 73);
}

TEST(SoftwareCentreMetadata, ProvidesTheDeviceIdsAsModaliases)
{
    const QString metainfo =
        linesOf(TAV_PACKAGING_DIR "/org.tavspirometer.Tav.metainfo.xml.in").join('\n');
    for (int product : {SerialPort::kProductId, HidPort::kProductId}) {
        const QString alias = QString::asprintf("<modalias>usb:v%04Xp%04Xd*</modalias>",
                                                SerialPort::kVendorId, product);
        EXPECT_TRUE(metainfo.contains(alias)) << alias.toStdString();
    }
}

} // namespace
