/*
 * window_records.h - the rules that the library's window table and the
 * child's copy of it follow alike.  A table is indexed by window number,
 * grows when a higher number comes, and shrinks after a close down to the
 * highest record in use, never below two records (0 and the first
 * numbered window).  Records are plain data, zero when unused.
 */
#ifndef KOVA_WINDOW_RECORDS_H
#define KOVA_WINDOW_RECORDS_H

#include "kova_common.h"

#include <cstring>
#include <type_traits>

/* Resizes the table to n records; new records are all zero. */
template <class Record>
void resize_records(Record *&table, int &count, int n)
{
    static_assert(std::is_trivially_copyable<Record>::value, "records are plain data");
    table = static_cast<Record *>(_kova_xrealloc(table, sizeof(Record) * static_cast<size_t>(n)));
    if (n > count)
        std::memset(static_cast<void *>(table + count), 0, sizeof(Record) * static_cast<size_t>(n - count));
    count = n;
}

/* The size the table takes once a window has closed. */
template <class Record>
int shrunk_size(const Record *table, int count)
{
    int highest = 1;
    for (int i = 2; i < count; i++)
        if (table[i].in_use)
            highest = i;
    return count > 2 ? highest + 1 : count;
}

/* A window with scrollbars has its drawing window inside a viewport
 * instead of being the top-level window itself. */
template <class Record>
bool has_scrollbars(const Record &w)
{
    return w.top_win != w.draw_win;
}

#endif /* KOVA_WINDOW_RECORDS_H */
