#include "SecurityCatalogue.h"

#include "Util.h"

#include <QFile>
#include <QStringList>

#include <cmath>

namespace {

constexpr int kFieldCount = 10;

int decimalsOfTick(double tick)
{
    int decimals = 0;
    double scaled = tick;
    while (decimals < 6 && std::fabs(scaled - std::round(scaled)) > 1e-9) {
        scaled *= 10.0;
        ++decimals;
    }
    return decimals;
}

bool parseLine(const QString& line, SecurityInfo& info)
{
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() != kFieldCount)
        return false;
    bool ok[7] = {};
    info.SecurityID = fields[0].trimmed();
    const QString exchange = fields[1].trimmed();
    info.SecurityName = fields[2].trimmed();
    const QString category = fields[3].trimmed();
    info.PriceTick = fields[4].toDouble(&ok[0]);
    info.VolumeStep = fields[5].toInt(&ok[1]);
    info.MinVolume = fields[6].toInt(&ok[2]);
    info.PreClosePrice = fields[7].toDouble(&ok[3]);
    info.LimitPercent = fields[8].toDouble(&ok[4]);
    const int hkd = fields[9].toInt(&ok[5]);
    ok[6] = exchange.size() == 1 && category.size() == 1 && !info.SecurityID.isEmpty()
        && !info.SecurityName.isEmpty() && (hkd == 0 || hkd == 1);
    for (bool fieldOk : ok) {
        if (!fieldOk)
            return false;
    }
    if (info.PriceTick <= 0.0 || info.VolumeStep < 1 || info.MinVolume < 1 || info.PreClosePrice <= 0.0)
        return false;
    info.ExchangeID = exchange.at(0).toLatin1();
    info.SecurityType = category.at(0).toLatin1();
    info.IsHKD = hkd == 1;
    info.PriceDecimals = decimalsOfTick(info.PriceTick);
    return true;
}

} // namespace

SecurityCatalogue SecurityCatalogue::fromCsv(const QString& csvText, QStringList* errors)
{
    SecurityCatalogue catalogue;
    const QStringList lines = csvText.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        SecurityInfo info;
        const QString key = parseLine(line, info) ? Util::GetSecurityKey(info.SecurityID, info.ExchangeID) : QString();
        if (key.isEmpty() || catalogue.m_indexByKey.contains(key)) {
            if (errors)
                errors->append(QStringLiteral("line %1: %2").arg(i + 1).arg(line));
            continue;
        }
        catalogue.m_indexByKey.insert(key, catalogue.m_securities.size());
        catalogue.m_securities.append(info);
    }
    return catalogue;
}

const SecurityCatalogue& SecurityCatalogue::instance()
{
    static const SecurityCatalogue catalogue = [] {
        QFile file(QStringLiteral(":/velm/securities.csv"));
        file.open(QIODevice::ReadOnly);
        return fromCsv(QString::fromUtf8(file.readAll()));
    }();
    return catalogue;
}

const SecurityInfo* SecurityCatalogue::find(const QString& securityKey) const
{
    const auto it = m_indexByKey.constFind(securityKey);
    return it == m_indexByKey.constEnd() ? nullptr : &m_securities[*it];
}

const SecurityInfo* SecurityCatalogue::find(const QString& securityID, char exchangeID) const
{
    return find(Util::GetSecurityKey(securityID, exchangeID));
}
