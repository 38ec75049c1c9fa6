#include "TransferRules.h"

#include <QSet>

QList<QByteArray> NamesFromListing(const LineList& lines)
{
    QList<QByteArray> names;
    for (const QByteArray& line : lines) {
        const qsizetype space = line.lastIndexOf(' ');
        if (space < 0 || space + 1 >= line.size())
            continue;
        names.append(line.mid(space + 1));
    }
    return names;
}

bool IsSafeListedName(const QByteArray& name)
{
    return IsPlainFileName(name);
}

int LoadAccountBar(int i, int n)
{
    return n > 0 ? 30 + (40 * (i + 1)) / n : 70;
}

int SaveAccountBar(int i, int n)
{
    return n > 0 ? 30 + (30 * (i + 1)) / n : 60;
}

QByteArray UserOfListedName(const QByteArray& listed)
{
    const qsizetype dot = listed.indexOf('.');
    return dot < 0 ? listed : listed.mid(dot + 1);
}

QList<QByteArray> StaleAccountFiles(const QList<QByteArray>& listed, const QList<tFTPInfo>& accounts)
{
    QSet<QByteArray> names;
    names.reserve(accounts.size());
    for (const tFTPInfo& a : accounts)
        names.insert(a.Name);
    QList<QByteArray> stale;
    for (const QByteArray& file : listed) {
        if (!names.contains(UserOfListedName(file)))
            stale.append(file);
    }
    return stale;
}
