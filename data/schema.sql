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
