#include "core/hospital/order_book.h"

#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/hospital/hospital_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 kMaxBookSize = 16 << 20;

} // namespace

OrderBook::OrderBook(const QString& file) : m_file(file) {}

OrderBook OrderBook::InProgramFolder()
{
    return OrderBook(HospitalSettings::Folder() + "orders.json");
}

std::vector<TakenOrder> OrderBook::Read() const
{
    std::vector<TakenOrder> orders;
    QByteArray bytes;
    if (RegularFile::Read(m_file, kMaxBookSize, bytes) != RegularFile::Status::Read)
        return orders;
    for (const QJsonValue& v : QJsonDocument::fromJson(bytes).array()) {
        TakenOrder o;
        o.patientId = v["patient"].toInt();
        o.accession = v["accession"].toString();
        o.day = v["day"].toString();
        o.procedure = v["procedure"].toString();
        o.takenAt = v["takenAt"].toString();
        if (o.patientId > 0 && !o.accession.isEmpty())
            orders.push_back(o);
    }
    return orders;
}

bool OrderBook::Record(const TakenOrder& order, QString* error) const
{
    QJsonArray list;
    for (const TakenOrder& o : Read())
        if (o.accession != order.accession)
            list.append(QJsonObject{{"patient", o.patientId},
                                    {"accession", o.accession},
                                    {"day", o.day},
                                    {"procedure", o.procedure},
                                    {"takenAt", o.takenAt}});
    list.append(QJsonObject{{"patient", order.patientId},
                            {"accession", order.accession},
                            {"day", order.day},
                            {"procedure", order.procedure},
                            {"takenAt", order.takenAt}});
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath())) {
        if (error)
            *error = "cannot make the folder of " + m_file;
        return false;
    }
    return DurableFile::Write(m_file, QJsonDocument(list).toJson(), error);
}

QString OrderBook::AccessionFor(int patientId, const QString& day) const
{
    QString accession;
    for (const TakenOrder& o : Read())
        if (o.patientId == patientId && o.day == day)
            accession = o.accession; // the book is in the order taken: the last one wins
    return accession;
}
