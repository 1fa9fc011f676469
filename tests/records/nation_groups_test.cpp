// Nation groups: the grid, corrections, adding and deleting groups.
#include "records_fixture.h"

#include "core/records/nation_groups.h"
#include "core/records/patient_record.h"

using NationGroups = RecordsTest;

TEST_F(NationGroups, BuiltInGroupsAreNamedByTheLanguageFileOthersByTheirText)
{
    home.write("Language/" + Settings().language + ".txt",
               "[USER MANAGE]\n1181=Group one\n1183=Group three\n1190=Group ten\n");
    int added = 0;
    AddGroup(db, "My group", &added);
    const QVector<NationGroup> groups = LoadNationGroups(db);
    ASSERT_EQ(groups.size(), 11);
    EXPECT_EQ(groups[0].Name, "Group one");
    EXPECT_EQ(groups[2].Name, "Group three");
    EXPECT_EQ(groups[9].Name, "Group ten");
    EXPECT_EQ(groups[10].Name, "My group");
    EXPECT_EQ(groups[10].ID, added);
    EXPECT_EQ(NationGroupName(db, 3), "Group three");
    EXPECT_TRUE(NationGroupName(db, 99).isEmpty());
}

TEST_F(NationGroups, EditWritesTheChosenRowOnly)
{
    ASSERT_TRUE(EditCorrection(db, 3, 17, "1.25", " -0.5xyz"));
    const CorrectionGrid grid = RefreshGrid(db);
    int changed = 0;
    for (const CorrectionRow& row : grid.Rows) {
        if (row.Group == 3 && row.Parameter == 17) {
            EXPECT_DOUBLE_EQ(row.Multiply, 1.25);
            EXPECT_DOUBLE_EQ(row.Additive, -0.5);
            EXPECT_EQ(row.ParameterName, "FVC");
            ++changed;
        } else {
            EXPECT_DOUBLE_EQ(row.Multiply, 1) << row.Group << "/" << row.Parameter;
        }
    }
    EXPECT_EQ(changed, 1);
    // Text that is no number counts as 0, as atof reads it.
    EditCorrection(db, 3, 17, "abc", "");
    Recordset rs(db);
    rs.Open("SELECT * FROM Nation WHERE nNation = 3 AND ParamName = 17");
    double m = -1;
    rs.GetFieldValue("Multiply", m);
    EXPECT_EQ(m, 0);
}

// An added group gets 23 neutral rows and a number read back from the table
// (counting would hand out a number another group holds once one is gone);
// names are bound, never pasted; only added groups can be deleted.
TEST_F(NationGroups, AddedGroupsGetTheirOwnNumberAndRowsAndOnlyTheyComeOutAgain)
{
    int a = 0, b = 0, c = 0;
    EXPECT_EQ(AddGroup(db, "Inuit", &a), AddGroupResult::Added);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = 11 AND Multiply = 1 AND Additive = 0"), 23);
    EXPECT_EQ(AddGroup(db, "N'Ko'); DELETE FROM Race; --", &b), AddGroupResult::Added);
    EXPECT_EQ(NationGroupName(db, b), "N'Ko'); DELETE FROM Race; --");
    EXPECT_EQ(AddGroup(db, ""), AddGroupResult::EmptyName);
    ASSERT_EQ(DeleteGroup(db, a), DeleteGroupResult::Deleted);
    EXPECT_EQ(count("SELECT * FROM Race WHERE ID = ?", {a}), 0);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = ?", {a}), 0);
    EXPECT_EQ(AddGroup(db, "C", &c), AddGroupResult::Added);
    EXPECT_NE(c, b);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = ?", {b}), 23);
    CorrectionGrid grid = RefreshGrid(db);
    ASSERT_EQ(grid.Rows.size(), 276);
    EXPECT_EQ(grid.Rows.last().GroupName, "C");
    for (const CorrectionRow& row : grid.Rows)
        EXPECT_TRUE(row.Group != b || row.GroupName == "N'Ko'); DELETE FROM Race; --");
    for (int g = 1; g <= 10; ++g)
        EXPECT_EQ(DeleteGroup(db, g), DeleteGroupResult::BuiltIn) << g;
    EXPECT_EQ(count("SELECT * FROM Race"), 12);
}

TEST_F(NationGroups, AddWithoutCorrectionsAddsOnlyTheGroup)
{
    db.Execute("delete from Nation");
    int group = 0;
    EXPECT_EQ(AddGroup(db, "Solo", &group), AddGroupResult::Added);
    EXPECT_EQ(count("SELECT * FROM Nation"), 0);
    db.Execute("delete from Race");
    EXPECT_EQ(AddGroup(db, "Nobody"), AddGroupResult::NoGroups);
    EXPECT_EQ(count("SELECT * FROM Race"), 0);
}

TEST_F(NationGroups, DeletingTheCurrentPatientsGroupMovesOnlyThatPatient)
{
    int group = 0;
    AddGroup(db, "Temp", &group);
    PatientRecord current, other;
    current.Name = "Cur";
    current.Nation = group;
    other.Name = "Oth";
    other.Nation = group;
    CreatePatient(db, current);
    CreatePatient(db, other);
    EXPECT_EQ(DeleteGroup(db, group, &current), DeleteGroupResult::Deleted);
    EXPECT_EQ(current.Nation, 10);
    PatientRecord loaded;
    LoadPatient(db, current.ID, loaded);
    EXPECT_EQ(loaded.Nation, 10);
    LoadPatient(db, other.ID, loaded);
    EXPECT_EQ(loaded.Nation, group); // until it becomes current and its group is checked

    EXPECT_TRUE(EnsurePatientGroup(db, loaded));
    EXPECT_EQ(loaded.Nation, 10);
    PatientRecord reloaded;
    LoadPatient(db, other.ID, reloaded);
    EXPECT_EQ(reloaded.Nation, 10);
    EXPECT_FALSE(EnsurePatientGroup(db, reloaded));
}
