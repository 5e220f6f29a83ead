#pragma once
#include <QHashFunctions>
#include <QString>

class ClipItemViewModel;

// A saved or suggested application: its bundle identifier and name.
struct AppFilter {
    QString bundleID;
    QString name;
    bool operator==(const AppFilter&) const = default;
};

// The active filter of a history list: all, images, links, fcp, or one application.
class SmartFilter {
public:
    enum class Kind { all, images, links, fcp, app };

    static SmartFilter all() { return SmartFilter(Kind::all); }
    static SmartFilter images() { return SmartFilter(Kind::images); }
    static SmartFilter links() { return SmartFilter(Kind::links); }
    static SmartFilter fcp() { return SmartFilter(Kind::fcp); }
    static SmartFilter app(const QString& bundleID, const QString& name);

    SmartFilter() = default;
    Kind kind() const { return m_kind; }
    bool isApp() const { return m_kind == Kind::app; }
    const QString& bundleID() const { return m_bundleID; }
    const QString& name() const { return m_name; }

    // Whether an entry passes: app compares the bundle identifier exactly, not the name.
    bool letsThrough(const ClipItemViewModel& model) const;
    // Chip label ("All", "Images", "Links", "FCP", the application's name) and symbol (empty for All).
    QString label() const;
    QString symbolName() const;

    // Two app filters are equal only when bundle identifier and name both are.
    bool operator==(const SmartFilter&) const = default;

private:
    explicit SmartFilter(Kind kind)
        : m_kind(kind)
    {
    }
    Kind m_kind = Kind::all;
    QString m_bundleID;
    QString m_name;
};

inline size_t qHash(const SmartFilter& filter, size_t seed = 0)
{
    return qHashMulti(seed, int(filter.kind()), filter.bundleID(), filter.name());
}
