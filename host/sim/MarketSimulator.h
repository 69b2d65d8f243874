#pragma once

#include "Lev1MarketData.h"
#include "VelmBaseExport.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

class QTimer;
class SecurityCatalogue;

// Simulated Level-1 market of every catalogue security: a seeded random walk inside the daily
// price limits with five bid and five ask levels. Quotes move on a GUI-thread timer; any thread
// may take a snapshot (the engine prices its orders from it).
//
// The book is always one tick wide on each side of the last price: bid n = last - n ticks,
// ask n = last + n ticks; a level beyond a daily limit is empty (price and volume 0).
class VELM_BASE_EXPORT MarketSimulator : public QObject
{
    Q_OBJECT
public:
    explicit MarketSimulator(const SecurityCatalogue& catalogue, uint32_t seed, QObject* parent = nullptr);
    ~MarketSimulator() override;

    // Moves every quote every `intervalMs` (the client runs it; tests step by hand).
    void start(int intervalMs);
    void stop();
    // One random-walk step of every quote that is not pinned; emits quoteUpdated for each.
    void step();

    // Thread-safe copy of a quote; false for a security the catalogue does not hold. Assigning
    // into the same `out` again reuses its storage.
    bool snapshot(const QString& securityKey, Lev1MarketData& out) const;

    // Pins a quote (tests and demos): it no longer walks until unpinned. Ignored for a key the
    // catalogue does not hold.
    void setQuote(const QString& securityKey, const Lev1MarketData& quote);
    // Pins the last price and rebuilds the levels around it, clamped to the limits.
    void setLastPrice(const QString& securityKey, double lastPrice);
    void unpin(const QString& securityKey);

signals:
    // Emitted on the thread that changed the quote (the GUI thread for the timer).
    void quoteUpdated(const QString& securityKey);

private:
    struct Entry {
        QString key;
        Lev1MarketData quote;
        double tick = 0.01;
        bool pinned = false;
    };
    Entry* findEntry(const QString& securityKey);
    void walk(Entry& entry);
    void moveLastPrice(Entry& entry, double lastPrice);
    void rebuildLevels(Entry& entry);
    double randomLevelVolume();

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;           // catalogue order, so a seed gives the same walk
    QHash<QString, int> m_indexByKey;
    std::mt19937 m_random;
    QTimer* m_timer = nullptr;
};
