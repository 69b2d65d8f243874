#pragma once

#include "SubwinType.h"
#include "VelmBaseExport.h"

#include <QWidget>

class QPlainTextEdit;
class ServiceScheduledOrder;

// The host's operation-log view of one account: every line the account's scheduled-order
// service logs, each once and in order (the stored ones arrive through RestoreOpLog).
class VELM_BASE_EXPORT OperationLogWid : public QWidget
{
    Q_OBJECT
public:
    OperationLogWid(int accountId, Subwin_Type subwinType, QWidget* parent);
    ~OperationLogWid() override;

    QStringList lines() const;

private:
    void appendLine(const QString& line);
    void restoreLines(const QStringList& lines);

    int m_accountId;
    QPlainTextEdit* m_text = nullptr;
};
