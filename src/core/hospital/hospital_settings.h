#pragma once
// The hospital's servers and names as the interface engineer gives them: keys
// of section HOSPITAL of System.ini.
#include <QString>

struct HospitalSettings {
    QString worklist;               // WORKLIST: the Modality Worklist server, AE@HOST:PORT
    QString station;                // STATION: scheduled station AE title to ask for ("" any)
    QString pacs;                   // PACS: the archive for Encapsulated PDF, AE@HOST:PORT
    QString hl7;                    // HL7: the HL7 v2 receiver (MLLP), HOST:PORT
    QString callingAe = "TAVSPIRO"; // CALLING_AE: our AE title
    QString sendingFacility;        // SENDING_FACILITY: MSH-4
    QString receivingApplication;   // RECEIVING_APPLICATION: MSH-5
    QString receivingFacility;      // RECEIVING_FACILITY: MSH-6
    QString assigningAuthority; // ASSIGNING_AUTHORITY: PID-3.4, the issuer of the patient numbers
    int timeoutSeconds = 10;    // TIMEOUT: connect and answer time limit

    // Reads the section; missing or unusable keys keep the defaults.
    static HospitalSettings Load(const QString& iniPath);
    bool Save(const QString& iniPath, QString* error = nullptr) const;

    // ProgramFolder + "Hospital/": the taken orders and the outbox.
    static QString Folder();
};

inline const char kHospitalSection[] = "HOSPITAL";
