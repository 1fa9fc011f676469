#include "core/hospital/hospital_settings.h"

#include "core/app/app_paths.h"
#include "core/app/ini_file.h"

namespace {

constexpr int kMaxTimeout = 600;

QString read(const QString& path, const char* key, const QString& fallback, int maxLength = 120)
{
    return IniFile::ReadString(path, kHospitalSection, key, fallback, maxLength).trimmed();
}

} // namespace

HospitalSettings HospitalSettings::Load(const QString& iniPath)
{
    HospitalSettings s;
    s.worklist = read(iniPath, "WORKLIST", s.worklist);
    s.station = read(iniPath, "STATION", s.station, 16);
    s.pacs = read(iniPath, "PACS", s.pacs);
    s.hl7 = read(iniPath, "HL7", s.hl7);
    const QString calling = read(iniPath, "CALLING_AE", s.callingAe, 16);
    if (!calling.isEmpty())
        s.callingAe = calling;
    s.sendingFacility = read(iniPath, "SENDING_FACILITY", s.sendingFacility);
    s.receivingApplication = read(iniPath, "RECEIVING_APPLICATION", s.receivingApplication);
    s.receivingFacility = read(iniPath, "RECEIVING_FACILITY", s.receivingFacility);
    s.assigningAuthority = read(iniPath, "ASSIGNING_AUTHORITY", s.assigningAuthority);
    const int timeout = IniFile::ReadInt(iniPath, kHospitalSection, "TIMEOUT", s.timeoutSeconds);
    if (timeout > 0 && timeout <= kMaxTimeout)
        s.timeoutSeconds = timeout;
    return s;
}

bool HospitalSettings::Save(const QString& iniPath, QString* error) const
{
    const std::pair<const char*, QString> keys[] = {{"WORKLIST", worklist},
                                                    {"STATION", station},
                                                    {"PACS", pacs},
                                                    {"HL7", hl7},
                                                    {"CALLING_AE", callingAe},
                                                    {"SENDING_FACILITY", sendingFacility},
                                                    {"RECEIVING_APPLICATION", receivingApplication},
                                                    {"RECEIVING_FACILITY", receivingFacility},
                                                    {"ASSIGNING_AUTHORITY", assigningAuthority},
                                                    {"TIMEOUT", QString::number(timeoutSeconds)}};
    for (const auto& [key, value] : keys)
        if (!IniFile::WriteString(iniPath, kHospitalSection, key, value, error))
            return false;
    return true;
}

QString HospitalSettings::Folder()
{
    return AppPaths::ProgramFolder() + "Hospital/";
}
