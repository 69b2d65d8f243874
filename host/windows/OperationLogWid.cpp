#include "OperationLogWid.h"

#include "ServiceScheduledOrder.h"
#include "UserData.h"
#include "UserDataManager.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The log of a long trading day stays bounded; the oldest lines go first.
constexpr int kMaxLines = 20000;

ServiceScheduledOrder* serviceOf(int accountId)
{
    const UserData* userData = UserDataManager::instance()->getUserData(accountId);
    return userData ? userData->getServiceScheduledOrder() : nullptr;
}

} // namespace

OperationLogWid::OperationLogWid(int accountId, Subwin_Type subwinType, QWidget* parent)
    : QWidget(parent)
    , m_accountId(accountId)
    , m_text(new QPlainTextEdit(this))
{
    Q_UNUSED(subwinType)
    setObjectName(QStringLiteral("OperationLogWid"));
    m_text->setObjectName(QStringLiteral("plainTextEdit_operationLog"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setMaximumBlockCount(kMaxLines);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);

    // The service logs from its engine thread.
    if (ServiceScheduledOrder* service = serviceOf(accountId)) {
        connect(service, &ServiceScheduledOrder::signalOperationLog, this, &OperationLogWid::appendLine,
                Qt::QueuedConnection);
        connect(service, &ServiceScheduledOrder::signalOperationLogRestored, this, &OperationLogWid::restoreLines,
                Qt::QueuedConnection);
    }
}

OperationLogWid::~OperationLogWid() = default;

QStringList OperationLogWid::lines() const
{
    QStringList lines;
    const QTextDocument* document = m_text->document();
    if (document->isEmpty())
        return lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

void OperationLogWid::appendLine(const QString& line)
{
    m_text->appendPlainText(line);
}

void OperationLogWid::restoreLines(const QStringList& lines)
{
    // The restore comes after every line it holds and before every later one: what arrived
    // live so far is its tail.
    m_text->setPlainText(lines.mid(std::max(0, lines.size() - kMaxLines)).join(QLatin1Char('\n')));
}
