#include "core/exchange/exchange_settings.h"

#include "core/app/ini_file.h"

namespace {

constexpr int kIdLength = 8;

QString fileStem(const QString& id)
{
    QString stem = id.left(4).toUpper();
    // A short id is padded so that names stay eight characters long.
    return stem.leftJustified(4, '_');
}

} // namespace

ExchangeSettings ExchangeSettings::Load(const QString& iniPath)
{
    ExchangeSettings s;
    s.gdtFolder = IniFile::ReadString(iniPath, kExchangeSection, "GDT_FOLDER", s.gdtFolder, 260);
    const QString own = IniFile::ReadString(iniPath, kExchangeSection, "GDT_OWN_ID", s.gdtOwnId, kIdLength);
    if (!own.trimmed().isEmpty())
        s.gdtOwnId = own.trimmed();
    const QString practice =
        IniFile::ReadString(iniPath, kExchangeSection, "GDT_PRACTICE_ID", s.gdtPracticeId, kIdLength);
    if (!practice.trimmed().isEmpty())
        s.gdtPracticeId = practice.trimmed();
    GdtCharset charset;
    if (GdtCharsetFromField(
            QString::number(IniFile::ReadInt(iniPath, kExchangeSection, "GDT_CHARSET", 2)), charset))
        s.gdtCharset = charset;
    const QString version =
        IniFile::ReadString(iniPath, kExchangeSection, "GDT_VERSION", s.gdtVersion, 5);
    if (version == "02.10" || version == "03.00")
        s.gdtVersion = version;
    return s;
}

bool ExchangeSettings::Save(const QString& iniPath) const
{
    return IniFile::WriteString(iniPath, kExchangeSection, "GDT_FOLDER", gdtFolder) &&
           IniFile::WriteString(iniPath, kExchangeSection, "GDT_OWN_ID", gdtOwnId) &&
           IniFile::WriteString(iniPath, kExchangeSection, "GDT_PRACTICE_ID", gdtPracticeId) &&
           IniFile::WriteString(iniPath, kExchangeSection, "GDT_CHARSET", GdtCharsetField(gdtCharset)) &&
           IniFile::WriteString(iniPath, kExchangeSection, "GDT_VERSION", gdtVersion);
}

QString ExchangeSettings::RequestFileName() const
{
    return fileStem(gdtOwnId) + fileStem(gdtPracticeId) + ".GDT";
}

QString ExchangeSettings::ResultFileName() const
{
    return fileStem(gdtPracticeId) + fileStem(gdtOwnId) + ".GDT";
}
