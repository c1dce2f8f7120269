#include "LzhufTestEncoder.h"

#include <cstring>
#include <vector>

namespace {

constexpr int RING = 4096;
constexpr int LOOKAHEAD = 29;
constexpr int MIN_MATCH = 3;                      // shorter matches go out as literals
constexpr int SYMBOLS = 256 + LOOKAHEAD - MIN_MATCH + 1;
constexpr int NODES = 2 * SYMBOLS - 1;
constexpr int ROOT = NODES - 1;
constexpr unsigned REBUILD_AT = 0x8000;

// Upper six bits of a match distance: code bits and their count.
const unsigned char posLen[64] = {
    3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6,
    6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
const unsigned char posCode[64] = {
    0x00, 0x20, 0x30, 0x40, 0x50, 0x58, 0x60, 0x68, 0x70, 0x78, 0x80, 0x88, 0x90, 0x94, 0x98, 0x9C,
    0xA0, 0xA4, 0xA8, 0xAC, 0xB0, 0xB4, 0xB8, 0xBC, 0xC0, 0xC2, 0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE,
    0xD0, 0xD2, 0xD4, 0xD6, 0xD8, 0xDA, 0xDC, 0xDE, 0xE0, 0xE2, 0xE4, 0xE6, 0xE8, 0xEA, 0xEC, 0xEE,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

class BitWriter
{
public:
    void put(unsigned value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            m_byte = (m_byte << 1) | ((value >> i) & 1);
            if (++m_count == 8) {
                m_out.append(char(m_byte));
                m_byte = 0;
                m_count = 0;
            }
        }
    }
    QByteArray finish()
    {
        if (m_count)
            m_out.append(char(m_byte << (8 - m_count)));
        return m_out;
    }

private:
    QByteArray m_out;
    unsigned m_byte = 0;
    int m_count = 0;
};

// Adaptive Huffman tree: nodes kept in ascending frequency order (the
// sibling property); leaves are child indices >= NODES.
class Tree
{
public:
    Tree()
    {
        for (int s = 0; s < SYMBOLS; ++s) {
            m_weight[s] = 1;
            m_child[s] = s + NODES;
            m_parent[s + NODES] = s;
        }
        int next = 0;
        for (int node = SYMBOLS; node < NODES; ++node, next += 2) {
            m_weight[node] = m_weight[next] + m_weight[next + 1];
            m_child[node] = next;
            m_parent[next] = m_parent[next + 1] = node;
        }
        m_weight[NODES] = 0xFFFFFFFFu;
        m_parent[ROOT] = 0;
    }

    void encode(BitWriter &out, int symbol)
    {
        std::vector<int> path;
        for (int node = m_parent[symbol + NODES]; node != ROOT; node = m_parent[node])
            path.push_back(node & 1);
        // The root's two children are told apart too.
        // (path holds the bit for each step, leaf first.)
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            out.put(unsigned(*it), 1);
        bump(symbol);
    }

private:
    void rebuild()
    {
        int leaves = 0;
        for (int i = 0; i < NODES; ++i) {
            if (m_child[i] >= NODES) {
                m_weight[leaves] = (m_weight[i] + 1) / 2;
                m_child[leaves] = m_child[i];
                ++leaves;
            }
        }
        for (int pair = 0, node = SYMBOLS; node < NODES; pair += 2, ++node) {
            const unsigned w = m_weight[pair] + m_weight[pair + 1];
            int at = node;
            while (at > 0 && m_weight[at - 1] > w) {
                m_weight[at] = m_weight[at - 1];
                m_child[at] = m_child[at - 1];
                --at;
            }
            m_weight[at] = w;
            m_child[at] = pair;
        }
        for (int i = 0; i < NODES; ++i) {
            const int c = m_child[i];
            m_parent[c] = i;
            if (c < NODES)
                m_parent[c + 1] = i;
        }
    }

    void bump(int symbol)
    {
        if (m_weight[ROOT] == REBUILD_AT)
            rebuild();
        int node = m_parent[symbol + NODES];
        while (true) {
            const unsigned w = ++m_weight[node];
            if (w > m_weight[node + 1]) {
                int swapWith = node + 1;
                while (w > m_weight[swapWith + 1])
                    ++swapWith;
                m_weight[node] = m_weight[swapWith];
                m_weight[swapWith] = w;
                const int a = m_child[node];
                const int b = m_child[swapWith];
                m_child[node] = b;
                m_child[swapWith] = a;
                m_parent[a] = swapWith;
                if (a < NODES)
                    m_parent[a + 1] = swapWith;
                m_parent[b] = node;
                if (b < NODES)
                    m_parent[b + 1] = node;
                node = swapWith;
            }
            node = m_parent[node];
            if (node == 0)
                break;
        }
    }

    unsigned m_weight[NODES + 1];
    int m_child[NODES];
    int m_parent[NODES + SYMBOLS];
};

// Longest earlier match for the bytes at pos, searched over the last RING - LOOKAHEAD
// bytes (and the ring's initial spaces), by brute force over a hash chain.
struct Matcher {
    const std::vector<unsigned char> &data;   // RING - LOOKAHEAD spaces, then the input
    std::vector<int> head;
    std::vector<int> prev;

    explicit Matcher(const std::vector<unsigned char> &d) : data(d), head(1 << 16, -1), prev(d.size(), -1) {}

    int hash(size_t p) const
    {
        return (data[p] << 8 ^ data[p + 1] << 4 ^ data[p + 2]) & 0xFFFF;
    }
    void insert(size_t p)
    {
        if (p + 2 >= data.size())
            return;
        const int h = hash(p);
        prev[p] = head[size_t(h)];
        head[size_t(h)] = int(p);
    }
    // Returns the match length (0 if none of MIN_MATCH) and the distance - 1.
    int find(size_t p, size_t end, int &distanceMinusOne) const
    {
        if (p + 2 >= data.size())
            return 0;
        const int maxLen = int(std::min<size_t>(LOOKAHEAD, end - p));
        int best = 0;
        for (int cand = head[size_t(hash(p))]; cand >= 0; cand = prev[size_t(cand)]) {
            const size_t dist = p - size_t(cand);
            if (dist >= size_t(RING - LOOKAHEAD))
                break;
            int len = 0;
            while (len < maxLen && data[size_t(cand) + size_t(len)] == data[p + size_t(len)])
                ++len;
            if (len > best) {
                best = len;
                distanceMinusOne = int(dist) - 1;
                if (len == maxLen)
                    break;
            }
        }
        return best >= MIN_MATCH ? best : 0;
    }
};

} // namespace

namespace LzhufTestEncoder {

QByteArray encode(const QByteArray &plain)
{
    // The decoder's ring starts with RING - LOOKAHEAD spaces; matches may use them.
    std::vector<unsigned char> data(size_t(RING - LOOKAHEAD), ' ');
    data.insert(data.end(), plain.begin(), plain.end());
    Matcher matcher(data);
    for (size_t p = 0; p < size_t(RING - LOOKAHEAD); ++p)
        matcher.insert(p);

    Tree tree;
    BitWriter out;
    size_t p = size_t(RING - LOOKAHEAD);
    const size_t end = data.size();
    while (p < end) {
        int distance = 0;
        const int len = matcher.find(p, end, distance);
        if (len == 0) {
            tree.encode(out, data[p]);
            matcher.insert(p);
            ++p;
            continue;
        }
        tree.encode(out, 256 + len - MIN_MATCH);
        const unsigned upper = unsigned(distance) >> 6;
        out.put(posCode[upper] >> (8 - posLen[upper]), posLen[upper]);
        out.put(unsigned(distance) & 0x3F, 6);
        for (int i = 0; i < len; ++i)
            matcher.insert(p + size_t(i));
        p += size_t(len);
    }
    return out.finish();
}

QByteArray container(const char *magic, const QByteArray &plain, const QByteArray &header)
{
    const int size = std::strcmp(magic, "_MF5") == 0 ? 1024 : 512;
    QByteArray h = header.left(size);
    if (h.size() < size)
        h.append(QByteArray(size - h.size(), '\0'));
    std::memcpy(h.data(), magic, 4);
    QByteArray length(4, '\0');
    const quint32 n = quint32(plain.size());
    for (int i = 0; i < 4; ++i)
        length[i] = char((n >> (8 * i)) & 0xFF);
    return h + length + encode(plain);
}

} // namespace LzhufTestEncoder
