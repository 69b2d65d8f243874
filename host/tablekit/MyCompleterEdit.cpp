#include "MyCompleterEdit.h"

#include "Util.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QtDebug>

#include <array>

namespace {

// Match kinds, best first; the popup lists them in this order.
enum MatchRank {
    ExactCode,
    CodePrefix,
    ExactName,
    InitialsPrefix,
    NamePrefix,
    NameSubstring,
    RankCount,
    NoMatch = -1,
};

// Room for the popup's frame and scroll bar beside the widest line.
constexpr int kPopupChrome = 36;

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

MyCompleterEdit::MyCompleterEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_popupModel(new QStandardItemModel(this))
    , m_completer(new QCompleter(m_popupModel, this))
{
    // The lines are already filtered and ranked here; the completer only shows and picks them.
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setMaxVisibleItems(10);
    // Not setCompleter(): the line edit would copy the whole "code name" line into itself.
    m_completer->setWidget(this);
    connect(m_completer, QOverload<const QModelIndex&>::of(&QCompleter::activated), this,
            &MyCompleterEdit::chooseFromPopup);
    connect(this, &QLineEdit::textEdited, this, &MyCompleterEdit::refreshPopup);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            hidePopup();
    });
}

MyCompleterEdit::~MyCompleterEdit() = default;

void MyCompleterEdit::updateModel(QStringList keys, QStringList codes, QStringList names, QString version)
{
    if (keys.size() != codes.size() || keys.size() != names.size()) {
        qWarning().noquote() << QStringLiteral("MyCompleterEdit::updateModel: %1 keys, %2 codes and %3 names "
                                               "differ in number; no candidates kept")
                                    .arg(keys.size())
                                    .arg(codes.size())
                                    .arg(names.size());
        clearCandidates();
        return;
    }
    if (!version.isEmpty() && version == m_version)
        return;

    clearCandidates();
    m_keys = std::move(keys);
    m_codes = std::move(codes);
    m_names = std::move(names);
    m_version = std::move(version);
    const int count = m_keys.size();
    m_lowerKeys.reserve(count);
    m_lowerCodes.reserve(count);
    m_lowerNames.reserve(count);
    m_lowerInitials.reserve(count);
    for (int i = 0; i < count; ++i) {
        m_lowerKeys.append(m_keys[i].toLower());
        m_lowerCodes.append(m_codes[i].toLower());
        m_lowerNames.append(m_names[i].toLower());
        m_lowerInitials.append(Util::PinyinInitials(m_names[i]).toLower());
        m_candidatesByLowerCode.insert(m_lowerCodes[i], i);
    }
}

int MyCompleterEdit::candidateCount() const
{
    return m_keys.size();
}

QStringList MyCompleterEdit::matchingKeys(const QString& text, int limit) const
{
    QStringList keys;
    for (const int candidate : rankedMatches(text, limit))
        keys.append(m_keys[candidate]);
    return keys;
}

QCompleter* MyCompleterEdit::completer() const
{
    return m_completer;
}

void MyCompleterEdit::keyPressEvent(QKeyEvent* event)
{
    if (!isEnterKey(event->key())) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // Taken here whether the key came to the edit or through the open popup, so that one Enter
    // makes at most one choice. Ambiguous text keeps the popup open for the trader to pick.
    event->accept();
    if (popupHasCurrentRow()) {
        chooseFromPopup(m_completer->popup()->currentIndex());
        return;
    }
    const int candidate = uniqueCandidateFor(text());
    if (candidate >= 0)
        chooseCandidate(candidate);
}

QVector<int> MyCompleterEdit::rankedMatches(const QString& text, int limit) const
{
    const QString lowerText = text.trimmed().toLower();
    if (lowerText.isEmpty() || limit <= 0)
        return {};
    std::array<QVector<int>, RankCount> byRank;
    for (int i = 0; i < m_keys.size(); ++i) {
        const int rank = matchRank(i, lowerText);
        if (rank != NoMatch && byRank[rank].size() < limit)
            byRank[rank].append(i);
    }
    QVector<int> ranked;
    for (const QVector<int>& candidates : byRank) {
        for (const int candidate : candidates) {
            if (ranked.size() == limit)
                return ranked;
            ranked.append(candidate);
        }
    }
    return ranked;
}

int MyCompleterEdit::matchRank(int candidate, const QString& lowerText) const
{
    const QString& code = m_lowerCodes[candidate];
    const QString& name = m_lowerNames[candidate];
    if (code == lowerText || m_lowerKeys[candidate] == lowerText)
        return ExactCode;
    if (code.startsWith(lowerText))
        return CodePrefix;
    if (name == lowerText)
        return ExactName;
    if (m_lowerInitials[candidate].startsWith(lowerText))
        return InitialsPrefix;
    if (name.startsWith(lowerText))
        return NamePrefix;
    if (name.contains(lowerText))
        return NameSubstring;
    return NoMatch;
}

int MyCompleterEdit::uniqueCandidateFor(const QString& text) const
{
    const QString lowerText = text.trimmed().toLower();
    if (lowerText.isEmpty())
        return -1;
    // A code listed on two exchanges is no choice; the trader must pick the line.
    const QList<int> sameCode = m_candidatesByLowerCode.values(lowerText);
    if (!sameCode.isEmpty())
        return sameCode.size() == 1 ? sameCode.first() : -1;
    const QVector<int> matches = rankedMatches(text, 2);
    return matches.size() == 1 ? matches.first() : -1;
}

void MyCompleterEdit::clearCandidates()
{
    hidePopup();
    m_popupModel->setRowCount(0);
    m_keys.clear();
    m_codes.clear();
    m_names.clear();
    m_lowerKeys.clear();
    m_lowerCodes.clear();
    m_lowerNames.clear();
    m_lowerInitials.clear();
    m_candidatesByLowerCode.clear();
    m_version.clear();
}

void MyCompleterEdit::refreshPopup(const QString& text)
{
    const QVector<int> matches = rankedMatches(text, PopupLimit);
    m_popupModel->setRowCount(0);
    if (matches.isEmpty()) {
        hidePopup();
        return;
    }
    const QFontMetrics metrics(font());
    int widest = width();
    for (const int candidate : matches) {
        auto* item = new QStandardItem(QStringLiteral("%1 %2").arg(m_codes[candidate], m_names[candidate]));
        item->setData(m_keys[candidate], KeyRole);
        item->setData(m_codes[candidate], CodeRole);
        item->setEditable(false);
        m_popupModel->appendRow(item);
        widest = qMax(widest, metrics.horizontalAdvance(item->text()) + kPopupChrome);
    }
    QRect popupRect = rect();
    popupRect.setWidth(widest);
    m_completer->complete(popupRect);
    // Nothing is highlighted until the trader moves to a line: Enter on ambiguous text picks nothing.
    m_completer->popup()->setCurrentIndex(QModelIndex());
}

void MyCompleterEdit::hidePopup()
{
    if (m_completer->popup()->isVisible())
        m_completer->popup()->hide();
}

bool MyCompleterEdit::popupHasCurrentRow() const
{
    const QAbstractItemView* popup = m_completer->popup();
    return popup->isVisible() && popup->currentIndex().isValid();
}

void MyCompleterEdit::chooseFromPopup(const QModelIndex& index)
{
    const QString key = index.data(KeyRole).toString();
    if (key.isEmpty())
        return;
    hidePopup();
    setText(index.data(CodeRole).toString());
    emit signalTextComplete(key);
}

void MyCompleterEdit::chooseCandidate(int candidate)
{
    hidePopup();
    setText(m_codes[candidate]);
    emit signalTextComplete(m_keys[candidate]);
}
