#include "TableHeader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSettings>
#include <QWidget>
#include <QtDebug>

#include <cmath>
#include <limits>

namespace {

const QString kSettingsGroup = QStringLiteral("TableHeader");

// Ids of a saved choice; anything that is not a JSON array of integers reads as no choice.
QList<int> parseIdArray(const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    QList<int> ids;
    if (!document.isArray())
        return ids;
    for (const QJsonValue& value : document.array()) {
        if (!value.isDouble())
            continue;
        const double number = value.toDouble();
        const bool isInt = number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()
            && number == std::trunc(number);
        if (isInt)
            ids.append(static_cast<int>(number));
    }
    return ids;
}

} // namespace

TableHeader::TableHeader(QString key, QWidget* parent)
    : QObject(parent)
    , m_key(std::move(key))
{
}

TableHeader::~TableHeader()
{
    qDeleteAll(m_columns);
}

QString TableHeader::toJson()
{
    QJsonArray columns;
    const auto describe = [&columns](const ColProperty* column, bool shown) {
        QJsonObject object;
        object.insert(QStringLiteral("id"), column->id);
        object.insert(QStringLiteral("title"), column->title);
        object.insert(QStringLiteral("width"), column->width);
        object.insert(QStringLiteral("alignment"), static_cast<int>(column->alignment));
        object.insert(QStringLiteral("shown"), shown);
        columns.append(object);
    };
    // Display order: the shown columns as the user arranged them, then the hidden ones.
    for (const ColProperty* column : qAsConst(m_shown))
        describe(column, true);
    for (ColProperty* column : qAsConst(m_columns)) {
        if (!m_shown.contains(column))
            describe(column, false);
    }
    return QString::fromUtf8(QJsonDocument(columns).toJson(QJsonDocument::Compact));
}

QString TableHeader::getColumnValue(int columnId, std::any record, UserData* userData)
{
    Q_UNUSED(columnId)
    Q_UNUSED(record)
    Q_UNUSED(userData)
    return QString();
}

QVariant TableHeader::getColumnValueUserRole(int columnId, std::any record, UserData* userData)
{
    Q_UNUSED(columnId)
    Q_UNUSED(record)
    Q_UNUSED(userData)
    return QVariant();
}

QVariant TableHeader::getColumnValueUserRoleOffset(int columnId, int offset, std::any record, UserData* userData)
{
    Q_UNUSED(columnId)
    Q_UNUSED(offset)
    Q_UNUSED(record)
    Q_UNUSED(userData)
    return QVariant();
}

QVariant TableHeader::getRowValue(int role, std::any record)
{
    Q_UNUSED(role)
    Q_UNUSED(record)
    return QVariant();
}

void TableHeader::addColumn(int id, QString title, int width, Qt::Alignment alignment, bool shown)
{
    if (findColumn(id)) {
        qWarning() << "TableHeader" << m_key << ": column id" << id << "declared twice, the second is ignored";
        return;
    }
    auto* column = new ColProperty;
    column->id = id;
    column->title = std::move(title);
    column->width = width;
    column->alignment = alignment;
    column->shown = shown;
    m_columns.append(column);
    if (shown)
        m_shown.append(column);
}

void TableHeader::initUserColumn()
{
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    const QList<ColProperty*> chosen = knownColumns(parseIdArray(settings.value(m_key).toString()));
    m_shown = chosen.isEmpty() ? defaultColumns() : chosen;
}

void TableHeader::saveUserColumn(const QList<int>& shownIds)
{
    QJsonArray ids;
    for (const ColProperty* column : knownColumns(shownIds))
        ids.append(column->id);
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    settings.setValue(m_key, QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact)));
}

QList<ColProperty*> TableHeader::getShowColumns()
{
    return m_shown;
}

ColProperty* TableHeader::findColumn(int id) const
{
    for (ColProperty* column : m_columns) {
        if (column->id == id)
            return column;
    }
    return nullptr;
}

QList<ColProperty*> TableHeader::knownColumns(const QList<int>& ids) const
{
    QList<ColProperty*> columns;
    QSet<int> seen;
    for (int id : ids) {
        ColProperty* column = findColumn(id);
        if (column && !seen.contains(id)) {
            seen.insert(id);
            columns.append(column);
        }
    }
    return columns;
}

QList<ColProperty*> TableHeader::defaultColumns() const
{
    QList<ColProperty*> columns;
    for (ColProperty* column : m_columns) {
        if (column->shown)
            columns.append(column);
    }
    return columns;
}
