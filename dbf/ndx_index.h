#pragma once

// NDX index layout, in 512-byte blocks; block 0 is the header, every other
// block one node of a B-tree. Integers are little-endian.
//
//   Header: 0 root block, 4 next free block (= blocks in the file), 9 key type
//   letter ("C", "N", "F", "D"), 12 key length (1-100), 14 keys per node
//   (504 div group length), 16 key type (0 character, 1 numeric), 18 group
//   length (8 + key length rounded up to 4), 23 unique flag, 24 the key
//   expression (zero-terminated, at most 100 characters). Bytes 488-495 keep
//   the complement of the table's record count and the count itself, 496-508
//   the table's file name, so that a stale index can be recognised.
//
//   Node: 4-byte key count k, then k entries of group length bytes (child
//   block, record number, key, zero padding). A leaf has child 0 in every
//   entry; an inner node has record number 0, the highest key of each child's
//   subtree, and after the last entry the block of the rightmost child, which
//   holds the keys above the last one.
//
//   Character keys compare byte by byte, numeric keys ("N", "F", "D") are
//   IEEE doubles (dates as Julian day numbers). Equal keys keep ascending
//   record numbers after a build; a key inserted later goes before its equals.

#include "dbf/key_expression.h"
#include "dbf/key_maker.h"
#include "dbf/key_sorter.h"
#include "dbf/posix_file.h"

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace dbf {

class NdxIndex {
public:
    static constexpr int kBlockSize = 512;
    static constexpr int kMaxKeyLength = 100;
    static constexpr int kMaxExpressionLength = 100;

    struct Header {
        uint32_t root = 1;
        uint32_t nextFree = 2;
        char keyTypeLetter = 'C';
        int keyLength = 0;
        int keysPerNode = 0;
        int keyType = 0;
        int groupLength = 0;
        bool unique = false;
        std::string expression;
        bool countValid = false; // complement at 488 matched the count at 492
        long storedCount = -1;
        std::string tableName;

        void setKey(char letter, int length);
        static Header parse(const uint8_t* block);
        void serialize(uint8_t* block, long recordCount, const std::string& table) const;
    };

    // Reads only the header of an index file (IndexInfo); throws DbfFailure.
    static Header readHeader(const std::string& path);

    // Writes a complete index file from sorted pairs (bottom-up, leaves as
    // full as the layout allows).
    static void writeTree(const std::string& path, const Header& header, KeySorter& sorter,
                          long recordCount, const std::string& tableName);

    NdxIndex() = default;
    NdxIndex(const NdxIndex&) = delete;
    NdxIndex& operator=(const NdxIndex&) = delete;

    // Opens and checks an index and compiles its expression; throws DbfFailure
    // with the engine's codes (2, 222, 223, 266). An index stored without an
    // expression was built by a key-maker function and needs `keyMaker`.
    void open(const std::string& path, PosixFile::Sharing sharing, const FieldList& fields,
              int areaNumber, const KeyMaker& keyMaker = {});
    // Writes the header when dirty and closes the file.
    void close(long recordCount, const std::string& tableName);
    void flush(long recordCount, const std::string& tableName);

    const std::string& path() const { return m_filePath; }
    const Header& header() const { return m_header; }
    bool madeByKeyMaker() const { return !m_expression; }
    void setCaching(bool on)
    {
        if (!on)
            dropCache();
        m_caching = on;
    }
    // Options given with the file name when the index was opened; they only
    // shape the keys of an index made by a key-maker function.
    bool descending = false;
    bool soundexKeys = false;

    // The key of a record: expression (or key-maker) result cut or
    // blank-padded to the key length, or an 8-byte double for numeric keys.
    // The context must carry the file record.
    std::string keyOf(const EvalContext& context) const;
    int compareKeys(const uint8_t* a, const uint8_t* b, size_t length) const;

    // Shared indexes: before a change the header is read again (another
    // program may have moved the root), and after it the header is written
    // under a lock on the index file.
    void setShared(bool on) { m_shared = on; }
    bool shared() const { return m_shared; }
    void refreshHeader();
    void writeSharedHeader(long recordCount, const std::string& tableName);

    // Tree maintenance.
    void insert(const std::string& key, uint32_t recno);
    bool remove(const std::string& key, uint32_t recno);
    void reset(); // empty tree: root 1, next free 2

    // Cursor. Each call returns the record number it lands on, 0 when it runs
    // off the end (or the index is empty).
    uint32_t first();
    uint32_t last();
    uint32_t next();
    uint32_t prev();
    // First entry whose key is >= key (a shorter character key matches as a
    // prefix); 0 when there is none.
    uint32_t seek(const std::string& key);
    // Positions on the entry (key, recno); false when it is not in the index.
    bool locate(const std::string& key, uint32_t recno);
    // The key at the cursor (empty when the cursor is off the tree).
    std::string currentKey();
    bool positioned() const { return !m_path.empty(); }
    void invalidateCursor() { m_path.clear(); }

private:
    using Block = std::array<uint8_t, kBlockSize>;
    struct Step {
        uint32_t block;
        int pos;
    };
    struct Entries {                    // a node taken apart for an insertion
        std::vector<uint32_t> children; // inner: count + 1 (rightmost last)
        std::vector<uint32_t> recnos;
        std::vector<std::string> keys;
        bool leaf = true;
    };

    Block node(uint32_t block);
    const Block& view(uint32_t block, Block& scratch);
    Block& editNode(uint32_t block); // cache on: the cached node, marked changed
    void writeNode(uint32_t block, const Block& data);
    void writeDirtyNodes();
    void dropCache();
    uint32_t count(const Block& b) const;
    bool isLeaf(const Block& b) const;
    uint32_t child(const Block& b, int slot) const;
    uint32_t recnoAt(const Block& b, int pos) const;
    const uint8_t* keyAt(const Block& b, int pos) const;
    int lowerBound(const Block& b, const std::string& key) const;

    Entries unpack(const Block& b) const;
    Block pack(const Entries& e) const;
    void insertAt(size_t level, int pos, uint32_t childBlock, uint32_t recno,
                  const std::string& key, uint32_t rightBlock);
    uint32_t allocateBlock();

    void descendFrom(uint32_t block, bool leftmost);
    uint32_t settleForward();
    uint32_t settleBackward();
    uint32_t currentRecno();
    uint32_t checkedRecno(const Block& b, int pos) const;
    void pushStep(uint32_t block, int pos);
    int compareEntry(const uint8_t* entryKey, uint32_t entryRecno, const std::string& key,
                     uint32_t recno) const;
    bool lastEntry(uint32_t block, std::string& key, uint32_t& recno);
    bool descendTo(const std::string& key, uint32_t recno);

    PosixFile m_file;
    std::string m_filePath;
    Header m_header;
    std::unique_ptr<KeyExpression> m_expression;
    KeyMaker m_keyMaker;
    const FieldList* m_fields = nullptr;
    int m_areaNumber = 0;
    bool m_dirty = false;
    bool m_shared = false;
    bool m_caching = true;
    struct CachedNode {
        Block data;
        uint32_t block = 0;
        bool dirty = false;
    };
    // Nodes kept in memory, found through a table indexed by block number
    // (blocks are numbered densely from 1), which is much cheaper than
    // hashing on the insertion path.
    class NodeCache {
    public:
        CachedNode* find(uint32_t block)
        {
            return block < m_slots.size() && m_slots[block] != 0 ? &at(m_slots[block] - 1)
                                                                 : nullptr;
        }
        CachedNode& add(uint32_t block, const Block& data)
        {
            if (block >= m_slots.size())
                m_slots.resize(size_t(block) + 1 + m_slots.size() / 2, 0);
            if (m_count == m_chunks.size() * kChunk)
                m_chunks.push_back(std::make_unique_for_overwrite<CachedNode[]>(kChunk));
            CachedNode& node = at(m_count++);
            node = CachedNode{data, block, false};
            m_slots[block] = uint32_t(m_count);
            return node;
        }
        size_t size() const { return m_count; }
        CachedNode& at(size_t i) { return m_chunks[i / kChunk][i % kChunk]; }
        // Keeps the memory for the next fill.
        void clear()
        {
            m_count = 0;
            m_slots.clear();
        }

    private:
        static constexpr size_t kChunk = 64;
        std::vector<std::unique_ptr<CachedNode[]>> m_chunks; // nodes never move
        size_t m_count = 0;
        std::vector<uint32_t> m_slots; // block -> position + 1, 0 if absent
    };
    NodeCache m_cache;
    size_t m_dirtyCount = 0;
    std::vector<Step> m_path;
};

} // namespace dbf
