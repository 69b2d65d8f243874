#pragma once

#include "SecurityInfo.h"
#include "VelmBaseExport.h"

#include <QHash>
#include <QString>
#include <QVector>

// The listed securities the host knows: real codes and names of the three exchanges, read once
// from the catalogue file built into Velm_Base. Immutable after loading, so any thread may read it.
class VELM_BASE_EXPORT SecurityCatalogue
{
public:
    static const SecurityCatalogue& instance();

    // Loads a catalogue from CSV text (code,exchange,name,category,tick,step,min,preclose,limit%,hkd).
    // Lines that do not parse are reported in `errors` and left out.
    static SecurityCatalogue fromCsv(const QString& csvText, QStringList* errors = nullptr);

    const QVector<SecurityInfo>& all() const { return m_securities; }
    // Null when the key is unknown.
    const SecurityInfo* find(const QString& securityKey) const;
    const SecurityInfo* find(const QString& securityID, char exchangeID) const;

private:
    QVector<SecurityInfo> m_securities;
    QHash<QString, int> m_indexByKey;
};
