-- The tables of data.mdb. Statements are separated by semicolons at line ends.
CREATE TABLE UserInfo (
    ID INTEGER PRIMARY KEY,
    ptID TEXT,
    LastName TEXT,
    FirstName TEXT,
    Gender INTEGER,
    Birthdate DATE,
    Height INTEGER,
    Weight INTEGER,
    Nation INTEGER,
    Smoke INTEGER,
    Address TEXT,
    Postalcode TEXT,
    City TEXT,
    Job TEXT,
    UserPassWord TEXT,
    PassWordFlag INTEGER,
    Standard INTEGER,
    Ethnic INTEGER
);
-- No two patients share a number; the patient list sorts by its shown columns.
CREATE UNIQUE INDEX UserInfo_ptID_unique ON UserInfo (ptID);
CREATE INDEX UserInfo_FirstName ON UserInfo (FirstName);
CREATE INDEX UserInfo_Gender ON UserInfo (Gender);
CREATE INDEX UserInfo_Birthdate ON UserInfo (Birthdate);
CREATE INDEX UserInfo_Height ON UserInfo (Height);
CREATE INDEX UserInfo_Weight ON UserInfo (Weight);
CREATE TABLE CaseInfo (
    ID INTEGER NOT NULL,
    DataName TEXT NOT NULL,
    TestTime DATETIME,
    FVC FLOAT,
    PEF FLOAT,
    FEV1 FLOAT,
    MVV FLOAT,
    VC FLOAT,
    Duration INTEGER,
    TestType INTEGER,
    Session INTEGER,
    Maneuver INTEGER,
    Phase INTEGER,
    RefStandard INTEGER,
    RefVersion TEXT,
    Btps INTEGER,
    Cues TEXT,
    UNIQUE (ID, DataName)
);
CREATE INDEX CaseInfo_ID_TestTime ON CaseInfo (ID, TestTime);
-- Per FVC session (ID, Session as in CaseInfo): the bronchodilator given and
-- the referring physician.
CREATE TABLE SessionDetail (
    ID INTEGER NOT NULL,
    Session INTEGER NOT NULL,
    Drug TEXT,
    Dose TEXT,
    DoseTime DATETIME,
    Referrer TEXT,
    UNIQUE (ID, Session)
);
-- Every relabelling of a session's phase: who, when, from and to.
CREATE TABLE PhaseChange (
    ID INTEGER NOT NULL,
    Session INTEGER NOT NULL,
    OldPhase INTEGER,
    NewPhase INTEGER,
    ChangedBy TEXT,
    ChangedAt DATETIME
);
CREATE INDEX PhaseChange_ID_Session ON PhaseChange (ID, Session);
-- The program's accounts: none in a fresh installation (accounts off); the
-- first, an administrator, turns them on. UserRole: 1 technician, 2 physician,
-- 3 administrator. PassHash: the Argon2id string of the password, never the
-- password. LockedUntil: UTC "yyyy-MM-ddTHH:mm:ssZ" after too many failures.
CREATE TABLE Account (
    UserName TEXT NOT NULL,
    UserRole INTEGER NOT NULL,
    PassHash TEXT NOT NULL,
    FailedLogins INTEGER,
    LockedUntil TEXT,
    CreatedAt TEXT,
    UNIQUE (UserName)
);
-- Who did what, rows only ever added. Seq counts from 1 without gaps; RowHash
-- is the SHA-256 of the row's other fields and PrevHash, the RowHash of the
-- row before, so a changed or removed row breaks the chain after it.
CREATE TABLE AuditLog (
    Seq INTEGER NOT NULL,
    LoggedAt TEXT NOT NULL,
    UserName TEXT,
    Workstation TEXT,
    AuditAction TEXT NOT NULL,
    PatientID INTEGER,
    Target TEXT,
    OldValue TEXT,
    NewValue TEXT,
    PrevHash TEXT NOT NULL,
    RowHash TEXT NOT NULL,
    UNIQUE (Seq)
);
-- A physician's sign-off of a patient's day, one row per version. A row with
-- a Reason and no Signer is an amendment still open; a signed row keeps the
-- snapshot of what the day reported, the report as signed and their hash.
CREATE TABLE DaySignOff (
    ID INTEGER NOT NULL,
    SignDay TEXT NOT NULL,
    SignVersion INTEGER NOT NULL,
    Signer TEXT,
    SignedAt TEXT,
    Reason TEXT,
    AmendedBy TEXT,
    AmendedAt TEXT,
    Snapshot TEXT,
    ReportPdf BLOB,
    SnapshotHash TEXT,
    UNIQUE (ID, SignDay, SignVersion)
);
-- Who ran each stored test, and on which workstation.
CREATE TABLE TestOperator (
    ID INTEGER NOT NULL,
    DataName TEXT NOT NULL,
    OperatorName TEXT,
    Workstation TEXT,
    UNIQUE (ID, DataName)
);
-- A physician's review of one stored blow: acceptable or not, and optionally
-- the grade of its test type, with the reason; the day's results apply it
-- beside the automatic verdict. One row per blow, the latest review.
CREATE TABLE GradeOverride (
    ID INTEGER NOT NULL,
    DataName TEXT NOT NULL,
    TestDay TEXT NOT NULL,
    Session INTEGER,
    Maneuver INTEGER,
    Acceptable INTEGER NOT NULL,
    Grade TEXT,
    Reason TEXT NOT NULL,
    UserName TEXT,
    OverriddenAt TEXT,
    UNIQUE (ID, DataName)
);
-- Each check of the flow sensor with a calibration syringe and each
-- calibration: when (local time), who, which device, the syringe (L), the
-- kind ("check" or "calibration"), the strokes (JSON: band, volume, error),
-- the result and, for a calibration, the device's coefficient before and
-- after. Seq orders them.
CREATE TABLE CalibrationLog (
    Seq INTEGER NOT NULL,
    LoggedAt TEXT NOT NULL,
    OperatorName TEXT,
    Device TEXT,
    SyringeVolume DOUBLE NOT NULL,
    Kind TEXT NOT NULL,
    Strokes TEXT,
    Passed INTEGER NOT NULL,
    FactorBefore INTEGER,
    FactorAfter INTEGER,
    UNIQUE (Seq)
);
CREATE TABLE Race (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Nation TEXT
);
CREATE TABLE Nation (
    nNation INTEGER,
    ParamName INTEGER,
    Multiply DOUBLE DEFAULT 1,
    Additive DOUBLE DEFAULT 0
);
CREATE INDEX Nation_nNation ON Nation (nNation, ParamName);
CREATE TABLE ParamName (
    ParamName TEXT
);
CREATE TABLE Predict (
    Type INTEGER,
    Gender INTEGER,
    Age_lower_limit INTEGER,
    Age_upper_limit INTEGER,
    "FEV1/FVC" INTEGER,
    Param_Constant TEXT,
    Param_Hight TEXT,
    Param_Age TEXT,
    Param_Age_Age TEXT,
    Param_Height_Height TEXT,
    Param_Surface TEXT
);
CREATE INDEX Predict_Lookup ON Predict (Type, Gender, Age_lower_limit);
