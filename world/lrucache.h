#pragma once
#include <QHash>

#include <utility>

// Integer-keyed least-recently-used store of values. It never evicts by itself: the owner
// asks for the least recent entry and takes it out, so it can write a changed value away
// before it goes.
template <typename T>
class LruCache
{
public:
    LruCache() { m_head.prev = m_head.next = &m_head; }
    ~LruCache() { clear(); }
    LruCache(const LruCache &) = delete;
    LruCache &operator=(const LruCache &) = delete;

    int size() const { return int(m_index.size()); }
    bool contains(int key) const { return m_index.contains(key); }

    // The value of key made the most recent entry, or null.
    T *object(int key)
    {
        const auto it = m_index.constFind(key);
        if (it == m_index.constEnd())
            return nullptr;
        Node *n = it.value();
        unlink(n);
        linkFront(n);
        return &n->value;
    }

    // The value of key without changing the use order, or null.
    T *peek(int key) const
    {
        const auto it = m_index.constFind(key);
        return it == m_index.constEnd() ? nullptr : &it.value()->value;
    }

    // Stores value as the most recent entry (replacing one under the same key).
    T *insert(int key, T &&value)
    {
        if (T *old = object(key)) {
            *old = std::move(value);
            return old;
        }
        Node *n = new Node(key, std::move(value));
        linkFront(n);
        m_index.insert(key, n);
        return &n->value;
    }

    // Key of the least recently used entry; -1 when empty.
    int leastRecentKey() const { return m_head.prev == &m_head ? -1 : static_cast<const Node *>(m_head.prev)->key; }

    // Removes key and hands its value out; false when absent.
    bool take(int key, T *out = nullptr)
    {
        const auto it = m_index.find(key);
        if (it == m_index.end())
            return false;
        Node *n = it.value();
        m_index.erase(it);
        unlink(n);
        if (out)
            *out = std::move(n->value);
        delete n;
        return true;
    }

    void clear()
    {
        Link *l = m_head.next;
        while (l != &m_head) {
            Link *next = l->next;
            delete static_cast<Node *>(l);
            l = next;
        }
        m_head.prev = m_head.next = &m_head;
        m_index.clear();
    }

    // Keys from most to least recently used.
    QList<int> keys() const
    {
        QList<int> out;
        for (const Link *l = m_head.next; l != &m_head; l = l->next)
            out.append(static_cast<const Node *>(l)->key);
        return out;
    }

private:
    struct Link {
        Link *prev = nullptr;
        Link *next = nullptr;
    };
    struct Node : Link {
        Node(int k, T &&v) : key(k), value(std::move(v)) {}
        int key;
        T value;
    };

    static void unlink(Link *n)
    {
        n->prev->next = n->next;
        n->next->prev = n->prev;
    }
    void linkFront(Link *n)
    {
        n->prev = &m_head;
        n->next = m_head.next;
        m_head.next->prev = n;
        m_head.next = n;
    }

    Link m_head;
    QHash<int, Node *> m_index;
};
