#pragma once

#include <QVector>

// Links the records of a flat list into a forest by their parent references:
// the folder tree and the group tree are both sent as lists of records that
// name their parent by id, in any order. Records are placed in list order; a
// record whose parent is not placed yet has its ancestors placed first, from
// the top down. A chain that names an unknown id or loops back on itself is
// left out (with everything below it), and the walk up a chain is a loop with
// a visit stamp per record, so no list can make it recurse or run for ever.
//
// Use: number the records 0..n-1 and give, for each record,
//  - `standing[i]`: the record that stands for its id (i itself, unless a later
//    record repeats the id: then the last one of them), and
//  - `parents[i]`: the standing record of its parent, `top` for a top-level
//    record, `unknown` when no record has the parent's id.
// Then call link(attach, drop):
//  - attach(int record, int slot, int parentSlot) creates the node of `slot`
//    from `record`'s data under the node of `parentSlot` (under the invisible
//    root for `top`); it is called once per placed id, parents first;
//  - drop(int record, ParentLinker::Drop why) is told of each record left out.
class ParentLinker
{
public:
    static constexpr int top = -2;
    static constexpr int unknown = -1;

    enum class Drop {
        UnknownParent, // the record's own parent id is unknown
        BadChain,      // an ancestor's id is unknown or the chain loops
    };

    ParentLinker(const QVector<int> &standing, const QVector<int> &parents)
        : standing(standing), parents(parents)
    {
        const int n = standing.size();
        placed.fill(false, n);
        stamp.fill(0, n);
        dead.fill(false, n);
    }

    bool isPlaced(int slot) const { return placed.at(slot); }

    template <typename Attach, typename DropFn> void link(Attach attach, DropFn drop)
    {
        for (int i = 0; i < standing.size(); ++i) {
            const int slot = standing.at(i);
            if (placed.at(slot))
                continue;
            const int parent = parents.at(i);
            if (parent == unknown) {
                drop(i, Drop::UnknownParent);
                continue;
            }
            if (parent != top && !placed.at(parent) && !placeChain(parent, attach)) {
                drop(i, Drop::BadChain);
                continue;
            }
            attach(i, slot, parent);
            placed[slot] = true;
        }
    }

private:
    // Places the record of `slot` and its unplaced ancestors, top-down; false
    // when the chain names an unknown id, loops, or was found dead before.
    template <typename Attach> bool placeChain(int slot, Attach &attach)
    {
        ++walk;
        chain.clear();
        int current = slot;
        for (;;) {
            if (dead.at(current) || stamp.at(current) == walk)
                return markDead();
            stamp[current] = walk;
            chain.append(current);
            const int parent = parents.at(current);
            if (parent == unknown)
                return markDead();
            if (parent == top || placed.at(parent))
                break;
            current = parent;
        }
        for (int i = chain.size() - 1; i >= 0; --i) {
            const int at = chain.at(i);
            attach(at, at, parents.at(at));
            placed[at] = true;
        }
        return true;
    }

    bool markDead()
    {
        for (int at : qAsConst(chain))
            dead[at] = true;
        return false;
    }

    QVector<int> standing;
    QVector<int> parents;
    QVector<bool> placed;
    QVector<int> stamp;
    QVector<bool> dead;
    QVector<int> chain;
    int walk = 0;
};
