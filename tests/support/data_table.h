#pragma once
// Tables of test cases kept as data: a CSV file with a header line, lines
// starting with '#' are comments, cells hold no commas (quotes around a cell
// are dropped). A row's cells are read by column name.
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct DataRow {
    std::shared_ptr<const QStringList> header;
    QStringList cells;

    QString operator[](const QString& column) const
    {
        const qsizetype i = header->indexOf(column);
        if (i < 0)
            ADD_FAILURE() << "no column " << column.toStdString();
        return cells.value(i);
    }
    double number(const QString& column) const { return (*this)[column].toDouble(); }
    // For SCOPED_TRACE: the row as it stands in the file.
    std::string line() const { return cells.join(',').toStdString(); }
};

inline std::vector<DataRow> ReadDataTable(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<DataRow> rows;
    std::shared_ptr<QStringList> header;
    for (QString line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        line = line.trimmed().remove('"');
        if (line.startsWith('#'))
            continue;
        if (!header)
            header = std::make_shared<QStringList>(line.split(','));
        else
            rows.push_back({header, line.split(',')});
    }
    return rows;
}
