#pragma once

#include "VelmBaseExport.h"

#include <QHash>
#include <QLineEdit>
#include <QStringList>
#include <QVector>

class QCompleter;
class QModelIndex;
class QStandardItemModel;

// A security input that completes by code, by name and by the name's pinyin initials, and
// emits the chosen security's key.
class VELM_BASE_EXPORT MyCompleterEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit MyCompleterEdit(QWidget* parent = nullptr);
    ~MyCompleterEdit() override;

    // Replaces the candidates (keys, display codes, names: same length). Nothing is rebuilt when
    // `version` is not empty and equals the version of the current candidates.
    void updateModel(QStringList keys, QStringList codes, QStringList names, QString version);
    int candidateCount() const;
    // Keys of the candidates that the text matches, best first (exact code, code prefix, initials
    // prefix, name).
    QStringList matchingKeys(const QString& text, int limit = 20) const;
    QCompleter* completer() const;

    // Most lines the popup lists.
    static constexpr int PopupLimit = 20;

signals:
    void signalTextComplete(QString securityKey);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum PopupRole { KeyRole = Qt::UserRole + 1, CodeRole };

    QVector<int> rankedMatches(const QString& text, int limit) const;
    int matchRank(int candidate, const QString& lowerText) const;
    // The one candidate that Enter chooses for the typed text, or -1 when it is ambiguous.
    int uniqueCandidateFor(const QString& text) const;
    void clearCandidates();
    void refreshPopup(const QString& text);
    void hidePopup();
    bool popupHasCurrentRow() const;
    void chooseFromPopup(const QModelIndex& index);
    void chooseCandidate(int candidate);

    QStringList m_keys;
    QStringList m_codes;
    QStringList m_names;
    // Lower-case forms, made once per updateModel so that each keystroke only compares.
    QStringList m_lowerKeys;
    QStringList m_lowerCodes;
    QStringList m_lowerNames;
    QStringList m_lowerInitials;
    QMultiHash<QString, int> m_candidatesByLowerCode;
    QString m_version;
    QStandardItemModel* m_popupModel = nullptr;
    QCompleter* m_completer = nullptr;
};
