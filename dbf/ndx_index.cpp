#include "dbf/ndx_index.h"

#include "dbf/dbf_error.h"
#include "dbf/little_endian.h"

#include <algorithm>
#include <cstring>

namespace dbf {

namespace {

constexpr size_t kNodeHeaderSize = 4;
constexpr size_t kEntryPrefix = 8; // child block + record number
constexpr int kNodePayload = 504;
constexpr size_t kMaxDepth = 32;      // deeper than any real tree: a loop in a damaged file
constexpr size_t kCacheLimit = 32768; // 16 MB of nodes per index
constexpr size_t kExpressionOffset = 24;
constexpr size_t kCountComplementOffset = 488;
constexpr size_t kCountOffset = 492;
constexpr size_t kTableNameOffset = 496;
constexpr size_t kTableNameLength = 12;

[[noreturn]] void corrupted(const std::string& path)
{
    fail(kCorruptedIndex, "Invalid dBASE key expression or corrupted index file " + path);
}

} // namespace

// --- header -----------------------------------------------------------------

void NdxIndex::Header::setKey(char letter, int length)
{
    keyTypeLetter = letter;
    keyLength = length;
    keyType = letter == 'C' ? 0 : 1;
    groupLength = int(kEntryPrefix) + (length + 3) / 4 * 4;
    keysPerNode = kNodePayload / groupLength;
}

NdxIndex::Header NdxIndex::Header::parse(const uint8_t* b)
{
    Header h;
    h.root = getU32(b);
    h.nextFree = getU32(b + 4);
    h.keyTypeLetter = char(b[9]);
    h.keyLength = getU16(b + 12);
    h.keysPerNode = getU16(b + 14);
    h.keyType = getU16(b + 16);
    h.groupLength = getU16(b + 18);
    h.unique = b[23] != 0;
    const char* expr = reinterpret_cast<const char*>(b + kExpressionOffset);
    h.expression.assign(expr, strnlen(expr, kMaxExpressionLength + 1));
    const uint32_t complement = getU32(b + kCountComplementOffset);
    const uint32_t count = getU32(b + kCountOffset);
    h.countValid = complement == ~count;
    h.storedCount = h.countValid ? long(count) : -1;
    const char* table = reinterpret_cast<const char*>(b + kTableNameOffset);
    h.tableName.assign(table, strnlen(table, kTableNameLength + 1));
    return h;
}

void NdxIndex::Header::serialize(uint8_t* b, long recordCount, const std::string& table) const
{
    std::memset(b, 0, kBlockSize);
    putU32(b, root);
    putU32(b + 4, nextFree);
    b[9] = uint8_t(keyTypeLetter);
    putU16(b + 12, uint16_t(keyLength));
    putU16(b + 14, uint16_t(keysPerNode));
    putU16(b + 16, uint16_t(keyType));
    putU16(b + 18, uint16_t(groupLength));
    b[23] = unique ? 1 : 0;
    std::memcpy(b + kExpressionOffset, expression.data(),
                std::min<size_t>(expression.size(), kMaxExpressionLength));
    putU32(b + kCountComplementOffset, ~uint32_t(recordCount));
    putU32(b + kCountOffset, uint32_t(recordCount));
    std::memcpy(b + kTableNameOffset, table.data(), std::min(table.size(), kTableNameLength));
}

NdxIndex::Header NdxIndex::readHeader(const std::string& path)
{
    PosixFile file;
    if (const int code = file.open(path, PosixFile::Sharing::Unguarded); code != 0)
        fail(code, "Attempt to open " + path + " [IndexInfo]");
    uint8_t block[kBlockSize];
    if (!file.readExact(0, block, kBlockSize))
        fail(kCorruptedIndex, "Invalid dBASE key expression or corrupted index file " + path);
    return Header::parse(block);
}

// --- bulk build ---------------------------------------------------------------

void NdxIndex::writeTree(const std::string& path, const Header& base, KeySorter& sorter,
                         long recordCount, const std::string& tableName)
{
    PosixFile file;
    if (const int code = file.create(path); code != 0)
        fail(code, "Cannot create index file " + path + " [MakeIndex]");
    Header header = base;
    const int keyLength = header.keyLength;
    const int group = header.groupLength;
    const int perNode = header.keysPerNode;

    // Leaves are written as they fill; the inner levels are then built from
    // the list of (block, highest key) of the level below.
    uint32_t nextBlock = 1;
    std::vector<uint8_t> pending; // blocks are written in batches
    uint32_t pendingFirst = 1;
    auto flushPending = [&] {
        if (!pending.empty() &&
            !file.writeExact(uint64_t(pendingFirst) * kBlockSize, pending.data(), pending.size()))
            fail(kDiskWriteError, "Error writing index file " + path + " [MakeIndex]");
        pending.clear();
    };
    auto emit = [&](const Block& b) -> uint32_t {
        if (pending.empty())
            pendingFirst = nextBlock;
        pending.insert(pending.end(), b.begin(), b.end());
        if (pending.size() >= 256 * kBlockSize)
            flushPending();
        return nextBlock++;
    };
    struct ChildRef {
        uint32_t block;
        std::string highKey;
    };
    std::vector<ChildRef> children;
    // The list of leaves is the stack the upper levels are built from.
    const size_t leaves = sorter.size() / size_t(perNode) + 1;
    try {
        children.reserve(leaves);
    } catch (const std::bad_alloc&) {
        fail(kInsufficientMemory, "Additional " + std::to_string(leaves * sizeof(ChildRef)) +
                                      " bytes of memory are needed. for allocating reindex "
                                      "stack [MakeIndex]");
    }
    std::string lastUniqueKey;
    bool haveKey = false;
    Block leaf{};
    int leafCount = 0;
    std::string leafHigh;
    auto closeLeaf = [&] {
        putU32(leaf.data(), uint32_t(leafCount));
        children.push_back({emit(leaf), leafHigh});
        leaf.fill(0);
        leafCount = 0;
    };
    sorter.drain([&](const uint8_t* key, uint32_t recno) {
        if (header.unique) {
            if (haveKey && sorter.compareKeys(
                               key, reinterpret_cast<const uint8_t*>(lastUniqueKey.data())) == 0)
                return;
            lastUniqueKey.assign(reinterpret_cast<const char*>(key), size_t(keyLength));
            haveKey = true;
        }
        if (leafCount == perNode)
            closeLeaf();
        uint8_t* entry = leaf.data() + kNodeHeaderSize + size_t(leafCount) * group;
        putU32(entry + 4, recno);
        std::memcpy(entry + kEntryPrefix, key, size_t(keyLength));
        leafHigh.assign(reinterpret_cast<const char*>(key), size_t(keyLength));
        ++leafCount;
    });
    closeLeaf();
    // An inner node holds up to perNode keys and perNode + 1 children; the
    // children of a level are spread so that no node is left with one child.
    const size_t fanOut = size_t(perNode) + 1;
    while (children.size() > 1) {
        std::vector<ChildRef> parents;
        const size_t total = children.size();
        const size_t nodes = (total + fanOut - 1) / fanOut;
        size_t at = 0;
        for (size_t n = 0; n < nodes; ++n) {
            const size_t take = (total - at) / (nodes - n) + ((total - at) % (nodes - n) ? 1 : 0);
            Block inner{};
            const size_t keys = take - 1;
            putU32(inner.data(), uint32_t(keys));
            for (size_t i = 0; i < keys; ++i) {
                uint8_t* entry = inner.data() + kNodeHeaderSize + i * group;
                putU32(entry, children[at + i].block);
                std::memcpy(entry + kEntryPrefix, children[at + i].highKey.data(),
                            size_t(keyLength));
            }
            putU32(inner.data() + kNodeHeaderSize + keys * group, children[at + keys].block);
            parents.push_back({emit(inner), children[at + keys].highKey});
            at += take;
        }
        children = std::move(parents);
    }
    const uint32_t root = children.front().block;
    flushPending();
    header.root = root;
    header.nextFree = nextBlock;
    uint8_t head[kBlockSize];
    header.serialize(head, recordCount, tableName);
    if (!file.writeExact(0, head, kBlockSize))
        fail(kDiskWriteError, "Error writing index file " + path + " [MakeIndex]");
}

// --- open and close -------------------------------------------------------------

void NdxIndex::open(const std::string& path, PosixFile::Sharing sharing, const FieldList& fields,
                    int areaNumber, const KeyMaker& keyMaker)
{
    m_areaNumber = areaNumber;
    if (const int code = m_file.open(path, sharing); code != 0)
        fail(code, "Attempt to open " + path + " [SetIndexTo(...," + path + ")]");
    m_filePath = path;
    if (m_file.size() < 2 * kBlockSize)
        fail(kCorruptedIndex, "Index file " + path + " is shorter than 1024 bytes [SetIndexTo]");
    uint8_t head[kBlockSize];
    if (!m_file.readExact(0, head, kBlockSize))
        corrupted(path);
    m_header = Header::parse(head);
    m_fields = &fields;
    m_expression.reset();
    m_keyMaker = nullptr;
    char type = m_header.keyTypeLetter;
    if (m_header.expression.empty()) {
        if (!keyMaker)
            fail(kIndexVersionMismatch,
                 "Index file " + path + " was created using KeyMaker function.");
        m_keyMaker = keyMaker;
        if (type == 'F')
            type = 'N';
    } else {
        std::string error;
        m_expression = KeyExpression::compile(m_header.expression, fields, error);
        if (!m_expression || m_header.expression.size() > kMaxExpressionLength)
            corrupted(path);
        type = m_expression->resultType();
    }
    if (m_header.keyLength < 1 || m_header.keyLength > kMaxKeyLength)
        fail(kInvalidSize, "Incorrect key length: Must be 1 to 100.");
    const bool numeric = type == 'N' || type == 'D';
    if ((numeric && m_header.keyLength != 8) || (!numeric && type != 'C'))
        corrupted(path);
    // The geometry must follow from the key length, or nodes would be misread.
    Header expected;
    expected.setKey(m_header.keyTypeLetter, m_header.keyLength);
    if (m_header.groupLength != expected.groupLength ||
        m_header.keysPerNode != expected.keysPerNode || m_header.keysPerNode < 2 ||
        m_header.root == 0 || m_header.nextFree < 2 ||
        uint64_t(m_header.nextFree) * kBlockSize > m_file.size() + kBlockSize)
        corrupted(path);
    m_header.keyType = numeric ? 1 : 0;
    m_cache.clear();
    m_dirtyCount = 0;
    m_path.clear();
    m_dirty = false;
}

void NdxIndex::flush(long recordCount, const std::string& tableName)
{
    if (!m_file.isOpen())
        return;
    writeDirtyNodes();
    uint8_t head[kBlockSize];
    m_header.serialize(head, recordCount, tableName);
    if (!m_file.writeExact(0, head, kBlockSize))
        fail(kDiskWriteError, "Unable to flush file " + m_file.path() + " [TZNDX.FlushFile]");
    m_dirty = false;
}

void NdxIndex::refreshHeader()
{
    uint8_t head[kBlockSize];
    if (!m_file.readExact(0, head, kBlockSize))
        corrupted(m_filePath);
    const Header fresh = Header::parse(head);
    m_header.root = fresh.root;
    m_header.nextFree = fresh.nextFree;
    m_path.clear();
}

void NdxIndex::writeSharedHeader(long recordCount, const std::string& tableName)
{
    constexpr uint64_t kAnchorLock = uint64_t(1) << 30;
    if (!m_file.lockRange(kAnchorLock, 1))
        fail(kLockViolation, "Could not lock index for writing anchor node " + m_filePath);
    flush(recordCount, tableName);
    if (!m_file.unlockRange(kAnchorLock, 1))
        fail(kLockViolation, "Could not unlock index after writing anchor node " + m_filePath);
}

void NdxIndex::close(long recordCount, const std::string& tableName)
{
    if (m_dirty || m_dirtyCount > 0)
        flush(recordCount, tableName);
    m_file.close();
    m_cache.clear();
    m_path.clear();
}

// --- keys -------------------------------------------------------------------

std::string NdxIndex::keyOf(const EvalContext& context) const
{
    ExprValue value;
    if (m_keyMaker) {
        value = m_keyMaker(KeyRecord(*m_fields, context.image, context.recno));
        if ((value.type == 'C') != (m_header.keyType == 0))
            fail(kInvalidParameter, "Wrong parser return type");
        return keyMakerKey(value, m_header.keyLength, soundexKeys, descending);
    }
    m_expression->evaluate(context, value);
    if (m_header.keyType == 0) {
        value.text.resize(size_t(m_header.keyLength), ' ');
        return value.text;
    }
    std::string key(8, '\0');
    std::memcpy(key.data(), &value.number, 8);
    return key;
}

int NdxIndex::compareKeys(const uint8_t* a, const uint8_t* b, size_t length) const
{
    if (m_header.keyType != 0) {
        double x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    return std::memcmp(a, b, length);
}

// --- nodes ------------------------------------------------------------------

// A node's bytes: in the cache when it is on (valid until the next node is
// loaded, which may drop the cache), else in `scratch`. Walks read nodes
// through this without copying them.
const NdxIndex::Block& NdxIndex::view(uint32_t block, Block& scratch)
{
    if (block == 0)
        fail(kKeyMakerMissing,
             "Invalid Node Number (0) in DBF Area " + std::to_string(m_areaNumber));
    if (block >= m_header.nextFree)
        corrupted(m_filePath);
    if (m_caching) {
        if (const CachedNode* cached = m_cache.find(block))
            return cached->data;
    }
    if (!m_file.readExact(uint64_t(block) * kBlockSize, scratch.data(), kBlockSize))
        corrupted(m_filePath);
    if (getU32(scratch.data()) > uint32_t(m_header.keysPerNode))
        corrupted(m_filePath);
    if (m_caching) {
        if (m_cache.size() >= kCacheLimit)
            dropCache();
        return m_cache.add(block, scratch).data;
    }
    return scratch;
}

NdxIndex::Block NdxIndex::node(uint32_t block)
{
    Block scratch;
    return view(block, scratch);
}

// With the cache on (an exclusive index) changed nodes stay in memory and
// go to disk when the index is flushed or closed, or when the cache is full.
void NdxIndex::writeNode(uint32_t block, const Block& data)
{
    if (m_caching) {
        CachedNode* cached = m_cache.find(block);
        if (!cached) {
            if (m_cache.size() >= kCacheLimit)
                dropCache();
            cached = &m_cache.add(block, data);
        }
        cached->data = data;
        if (!cached->dirty) {
            cached->dirty = true;
            ++m_dirtyCount;
        }
        return;
    }
    if (!m_file.writeExact(uint64_t(block) * kBlockSize, data.data(), kBlockSize))
        fail(kDiskWriteError, "Error writing index file " + m_filePath);
}

NdxIndex::Block& NdxIndex::editNode(uint32_t block)
{
    Block scratch;
    view(block, scratch); // loads it into the cache
    CachedNode* cached = m_cache.find(block);
    if (!cached->dirty) {
        cached->dirty = true;
        ++m_dirtyCount;
    }
    return cached->data;
}

// Changed nodes go out in block order, neighbouring blocks in one write.
void NdxIndex::writeDirtyNodes()
{
    if (m_dirtyCount == 0)
        return;
    std::vector<CachedNode*> dirty;
    dirty.reserve(m_dirtyCount);
    for (size_t i = 0; i < m_cache.size(); ++i)
        if (m_cache.at(i).dirty)
            dirty.push_back(&m_cache.at(i));
    std::sort(dirty.begin(), dirty.end(),
              [](const CachedNode* a, const CachedNode* b) { return a->block < b->block; });
    constexpr size_t kMaxRun = 256;
    std::vector<uint8_t> run;
    for (size_t i = 0; i < dirty.size();) {
        size_t j = i + 1;
        while (j < dirty.size() && j - i < kMaxRun && dirty[j]->block == dirty[j - 1]->block + 1)
            ++j;
        run.resize((j - i) * kBlockSize);
        for (size_t k = i; k < j; ++k)
            std::memcpy(run.data() + (k - i) * kBlockSize, dirty[k]->data.data(), kBlockSize);
        if (!m_file.writeExact(uint64_t(dirty[i]->block) * kBlockSize, run.data(), run.size()))
            fail(kDiskWriteError, "Error writing index file " + m_filePath);
        for (size_t k = i; k < j; ++k)
            dirty[k]->dirty = false;
        i = j;
    }
    m_dirtyCount = 0;
}

void NdxIndex::dropCache()
{
    writeDirtyNodes();
    m_cache.clear();
}

uint32_t NdxIndex::count(const Block& b) const
{
    return getU32(b.data());
}

// A leaf has child 0 in its entries. An inner node has record number 0 in
// its entries and a rightmost child; checking both makes a damaged first
// child pointer show up as the bad pointer it is instead of as a leaf.
bool NdxIndex::isLeaf(const Block& b) const
{
    const uint32_t n = count(b);
    if (n == 0)
        return getU32(b.data() + kNodeHeaderSize) == 0;
    if (getU32(b.data() + kNodeHeaderSize) != 0)
        return false;
    return recnoAt(b, 0) != 0 || child(b, int(n)) == 0;
}

uint32_t NdxIndex::child(const Block& b, int slot) const
{
    return getU32(b.data() + kNodeHeaderSize + size_t(slot) * size_t(m_header.groupLength));
}

uint32_t NdxIndex::recnoAt(const Block& b, int pos) const
{
    return getU32(b.data() + kNodeHeaderSize + size_t(pos) * size_t(m_header.groupLength) + 4);
}

const uint8_t* NdxIndex::keyAt(const Block& b, int pos) const
{
    return b.data() + kNodeHeaderSize + size_t(pos) * size_t(m_header.groupLength) + kEntryPrefix;
}

int NdxIndex::lowerBound(const Block& b, const std::string& key) const
{
    const size_t length = std::min(key.size(), size_t(m_header.keyLength));
    int lo = 0, hi = int(count(b));
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const auto* probe = reinterpret_cast<const uint8_t*>(key.data());
        if (compareKeys(keyAt(b, mid), probe, length) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

NdxIndex::Entries NdxIndex::unpack(const Block& b) const
{
    Entries e;
    const int n = int(count(b));
    e.leaf = isLeaf(b);
    for (int i = 0; i < n; ++i) {
        e.children.push_back(child(b, i));
        e.recnos.push_back(recnoAt(b, i));
        e.keys.emplace_back(reinterpret_cast<const char*>(keyAt(b, i)), size_t(m_header.keyLength));
    }
    if (!e.leaf)
        e.children.push_back(child(b, n));
    return e;
}

NdxIndex::Block NdxIndex::pack(const Entries& e) const
{
    Block b{};
    const size_t n = e.keys.size();
    putU32(b.data(), uint32_t(n));
    for (size_t i = 0; i < n; ++i) {
        uint8_t* entry = b.data() + kNodeHeaderSize + i * size_t(m_header.groupLength);
        putU32(entry, e.leaf ? 0 : e.children[i]);
        putU32(entry + 4, e.leaf ? e.recnos[i] : 0);
        std::memcpy(entry + kEntryPrefix, e.keys[i].data(), size_t(m_header.keyLength));
    }
    if (!e.leaf)
        putU32(b.data() + kNodeHeaderSize + n * size_t(m_header.groupLength), e.children[n]);
    return b;
}

uint32_t NdxIndex::allocateBlock()
{
    m_dirty = true;
    return m_header.nextFree++;
}

// --- insertion and deletion ---------------------------------------------------

void NdxIndex::insert(const std::string& key, uint32_t recno)
{
    // Descend to the leaf, remembering the path.
    m_path.clear();
    uint32_t block = m_header.root;
    Block scratch;
    for (;;) {
        const Block& b = view(block, scratch);
        const int pos = lowerBound(b, key);
        pushStep(block, pos);
        if (isLeaf(b)) {
            if (m_header.unique && pos < int(count(b)) &&
                compareKeys(keyAt(b, pos), reinterpret_cast<const uint8_t*>(key.data()),
                            size_t(m_header.keyLength)) == 0)
                return;
            break;
        }
        block = child(b, pos);
    }
    // insertAt climbs this path; afterwards the cursor no longer matches the tree.
    insertAt(m_path.size() - 1, m_path.back().pos, 0, recno, key, 0);
    m_path.clear();
    m_dirty = true;
}

// Inserts an entry at `pos` of the node at `level` of the current path. For
// an inner node the entry points to `childBlock` (the left half of a split
// child) and the slot it is inserted in front of is redirected to `rightBlock`.
void NdxIndex::insertAt(size_t level, int pos, uint32_t childBlock, uint32_t recno,
                        const std::string& key, uint32_t rightBlock)
{
    const uint32_t block = m_path[level].block;
    // With the cache on, the node is changed where it lies in the cache.
    Block scratch;
    Block& b = m_caching ? editNode(block) : (scratch = node(block));
    const int held = int(count(b));
    if (held < m_header.keysPerNode) {
        // Room in the node: shift the later entries (and an inner node's
        // rightmost pointer) up by one and write the new entry in place.
        const size_t g = size_t(m_header.groupLength);
        const bool leaf = isLeaf(b);
        uint8_t* at = b.data() + kNodeHeaderSize + size_t(pos) * g;
        if (!leaf)
            putU32(at, rightBlock);
        const size_t tail = size_t(held - pos) * g + (leaf ? 0 : 4);
        std::memmove(at + g, at, tail);
        std::memset(at, 0, g);
        putU32(at, leaf ? 0 : childBlock);
        putU32(at + 4, leaf ? recno : 0);
        std::memcpy(at + kEntryPrefix, key.data(),
                    std::min(key.size(), size_t(m_header.keyLength)));
        putU32(b.data(), uint32_t(held + 1));
        if (!m_caching)
            writeNode(block, b);
        return;
    }
    // Full: lay the entries out with the new one in place (an inner node's
    // trailing rightmost child after them), then cut them in two. Of the k
    // entries the node held, the old node keeps the first k - k/2 and the new
    // right sibling the rest; the new entry joins its half.
    const size_t g = size_t(m_header.groupLength);
    const bool leaf = isLeaf(b);
    const int n = held + 1;
    std::array<uint8_t, 2 * kBlockSize> all{};
    const uint8_t* from = b.data() + kNodeHeaderSize;
    std::memcpy(all.data(), from, size_t(pos) * g);
    uint8_t* fresh = all.data() + size_t(pos) * g;
    putU32(fresh, leaf ? 0 : childBlock);
    putU32(fresh + 4, leaf ? recno : 0);
    std::memcpy(fresh + kEntryPrefix, key.data(), std::min(key.size(), size_t(m_header.keyLength)));
    std::memcpy(fresh + g, from + size_t(pos) * g, size_t(held - pos) * g + (leaf ? 0 : 4));
    if (!leaf)
        putU32(fresh + g, rightBlock); // the child the new entry's right neighbour leads to
    const int k = n - 1;
    const int keepOld = k - k / 2;
    const int oldCount = pos < keepOld ? keepOld + 1 : keepOld;
    const uint8_t* last = all.data() + size_t(oldCount - 1) * g;
    std::string separator(reinterpret_cast<const char*>(last + kEntryPrefix),
                          size_t(m_header.keyLength));
    Block left{}, right{};
    // An inner node's last key moves up; its child becomes the rightmost.
    const int leftCount = leaf ? oldCount : oldCount - 1;
    putU32(left.data(), uint32_t(leftCount));
    std::memcpy(left.data() + kNodeHeaderSize, all.data(), size_t(leftCount) * g);
    if (!leaf)
        putU32(left.data() + kNodeHeaderSize + size_t(leftCount) * g, getU32(last));
    putU32(right.data(), uint32_t(n - oldCount));
    std::memcpy(right.data() + kNodeHeaderSize, all.data() + size_t(oldCount) * g,
                size_t(n - oldCount) * g + (leaf ? 0 : 4));
    const uint32_t newBlock = allocateBlock();
    writeNode(block, left);
    writeNode(newBlock, right);
    if (level == 0) {
        Entries root;
        root.leaf = false;
        root.keys.push_back(separator);
        root.recnos.push_back(0);
        root.children = {block, newBlock};
        const uint32_t rootBlock = allocateBlock();
        writeNode(rootBlock, pack(root));
        m_header.root = rootBlock;
        return;
    }
    insertAt(level - 1, m_path[level - 1].pos, block, 0, separator, newBlock);
}

bool NdxIndex::remove(const std::string& key, uint32_t recno)
{
    if (!locate(key, recno))
        return false;
    const Step leaf = m_path.back();
    Entries e = unpack(node(leaf.block));
    e.keys.erase(e.keys.begin() + leaf.pos);
    e.recnos.erase(e.recnos.begin() + leaf.pos);
    if (!e.children.empty())
        e.children.erase(e.children.begin() + leaf.pos);
    writeNode(leaf.block, pack(e));
    m_path.clear();
    m_dirty = true;
    return true;
}

void NdxIndex::reset()
{
    m_header.root = 1;
    m_header.nextFree = 2;
    Block empty{};
    m_cache.clear();
    m_dirtyCount = 0;
    if (!m_file.truncate(2 * kBlockSize) ||
        !m_file.writeExact(kBlockSize, empty.data(), kBlockSize))
        fail(kDiskWriteError, "Error writing index file " + m_filePath);
    m_path.clear();
    m_dirty = true;
}

// --- cursor -----------------------------------------------------------------

void NdxIndex::pushStep(uint32_t block, int pos)
{
    if (m_path.size() >= kMaxDepth)
        corrupted(m_filePath);
    m_path.push_back({block, pos});
}

// Goes down from `block` to a leaf along the first (or last) children.
void NdxIndex::descendFrom(uint32_t block, bool leftmost)
{
    Block scratch;
    for (;;) {
        const Block& b = view(block, scratch);
        const int n = int(count(b));
        if (isLeaf(b)) {
            pushStep(block, leftmost ? 0 : n - 1);
            return;
        }
        const int slot = leftmost ? 0 : n;
        pushStep(block, slot);
        block = child(b, slot);
    }
}

uint32_t NdxIndex::checkedRecno(const Block& b, int pos) const
{
    const uint32_t recno = recnoAt(b, pos);
    if (recno == 0)
        corrupted(m_filePath);
    return recno;
}

uint32_t NdxIndex::currentRecno()
{
    const Step& s = m_path.back();
    return recnoAt(node(s.block), s.pos);
}

// Moves forward from a leaf position past the end of its node.
uint32_t NdxIndex::settleForward()
{
    Block scratch;
    for (;;) {
        if (m_path.empty())
            return 0;
        const Step s = m_path.back();
        const Block& b = view(s.block, scratch);
        if (isLeaf(b)) {
            if (s.pos < int(count(b)))
                return checkedRecno(b, s.pos);
            m_path.pop_back();
        } else if (s.pos <= int(count(b))) {
            descendFrom(child(b, s.pos), true);
            continue;
        } else {
            m_path.pop_back();
        }
        if (m_path.empty())
            return 0;
        ++m_path.back().pos;
    }
}

uint32_t NdxIndex::settleBackward()
{
    Block scratch;
    for (;;) {
        if (m_path.empty())
            return 0;
        const Step s = m_path.back();
        const Block& b = view(s.block, scratch);
        if (isLeaf(b)) {
            if (s.pos >= 0 && s.pos < int(count(b)))
                return checkedRecno(b, s.pos);
            m_path.pop_back();
        } else if (s.pos >= 0) {
            descendFrom(child(b, s.pos), false);
            continue;
        } else {
            m_path.pop_back();
        }
        if (m_path.empty())
            return 0;
        --m_path.back().pos;
    }
}

uint32_t NdxIndex::first()
{
    m_path.clear();
    descendFrom(m_header.root, true);
    const uint32_t r = settleForward();
    if (r == 0)
        m_path.clear();
    return r;
}

uint32_t NdxIndex::last()
{
    m_path.clear();
    descendFrom(m_header.root, false);
    const uint32_t r = settleBackward();
    if (r == 0)
        m_path.clear();
    return r;
}

uint32_t NdxIndex::next()
{
    if (m_path.empty())
        return 0;
    ++m_path.back().pos;
    const uint32_t r = settleForward();
    if (r == 0)
        m_path.clear();
    return r;
}

uint32_t NdxIndex::prev()
{
    if (m_path.empty())
        return 0;
    --m_path.back().pos;
    const uint32_t r = settleBackward();
    if (r == 0)
        m_path.clear();
    return r;
}

uint32_t NdxIndex::seek(const std::string& key)
{
    m_path.clear();
    uint32_t block = m_header.root;
    for (;;) {
        const Block b = node(block);
        const int pos = lowerBound(b, key);
        pushStep(block, pos);
        if (isLeaf(b))
            break;
        block = child(b, pos);
    }
    const uint32_t r = settleForward();
    if (r == 0)
        m_path.clear();
    return r;
}

std::string NdxIndex::currentKey()
{
    if (m_path.empty())
        return {};
    const Step& s = m_path.back();
    const Block b = node(s.block);
    return std::string(reinterpret_cast<const char*>(keyAt(b, s.pos)), size_t(m_header.keyLength));
}

// Equal keys stand in ascending record number after a build, so the entry is
// first looked for by descending on (key, record number). Keys inserted since
// go in front of their equals and break that order; when the descent misses,
// the run of equal keys is searched from its start, a node at a time.
bool NdxIndex::locate(const std::string& key, uint32_t recno)
{
    if (descendTo(key, recno))
        return true;
    uint32_t r = seek(key);
    const auto* wanted = reinterpret_cast<const uint8_t*>(key.data());
    const size_t length = size_t(m_header.keyLength);
    while (r != 0) {
        const Block b = node(m_path.back().block);
        const int n = int(count(b));
        for (int pos = m_path.back().pos; pos < n; ++pos) {
            if (compareKeys(keyAt(b, pos), wanted, length) != 0) {
                m_path.clear();
                return false;
            }
            if (recnoAt(b, pos) == recno) {
                m_path.back().pos = pos;
                return true;
            }
        }
        m_path.back().pos = n;
        r = settleForward();
    }
    m_path.clear();
    return false;
}

// Orders an entry against (key, recno) as a build orders them.
int NdxIndex::compareEntry(const uint8_t* entryKey, uint32_t entryRecno, const std::string& key,
                           uint32_t recno) const
{
    const int c = compareKeys(entryKey, reinterpret_cast<const uint8_t*>(key.data()),
                              size_t(m_header.keyLength));
    if (c != 0)
        return c;
    return entryRecno < recno ? -1 : entryRecno > recno ? 1 : 0;
}

// The highest entry of a subtree: its rightmost leaf's last entry. False for
// an empty leaf.
bool NdxIndex::lastEntry(uint32_t block, std::string& key, uint32_t& recno)
{
    for (size_t depth = 0; depth < kMaxDepth; ++depth) {
        const Block b = node(block);
        const int n = int(count(b));
        if (isLeaf(b)) {
            if (n == 0)
                return false;
            key.assign(reinterpret_cast<const char*>(keyAt(b, n - 1)), size_t(m_header.keyLength));
            recno = recnoAt(b, n - 1);
            return true;
        }
        block = child(b, n);
    }
    corrupted(m_filePath);
}

// Descends to the entry (key, recno) as if equal keys were ordered by record
// number. In an inner node the separators only tell which children may hold
// the key; among those whose separator equals it, the first whose highest
// entry is not below (key, recno) is taken, found by binary search.
bool NdxIndex::descendTo(const std::string& key, uint32_t recno)
{
    m_path.clear();
    uint32_t block = m_header.root;
    std::string lastKey;
    uint32_t lastRecno = 0;
    for (;;) {
        const Block b = node(block);
        const int n = int(count(b));
        if (isLeaf(b)) {
            int lo = 0, hi = n;
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (compareEntry(keyAt(b, mid), recnoAt(b, mid), key, recno) < 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            pushStep(block, lo);
            if (lo < n && compareEntry(keyAt(b, lo), recnoAt(b, lo), key, recno) == 0)
                return true;
            m_path.clear();
            return false;
        }
        int lo = lowerBound(b, key);
        int hi = lo;
        const auto* wanted = reinterpret_cast<const uint8_t*>(key.data());
        while (hi < n && compareKeys(keyAt(b, hi), wanted, size_t(m_header.keyLength)) == 0)
            ++hi;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (lastEntry(child(b, mid), lastKey, lastRecno) &&
                compareEntry(reinterpret_cast<const uint8_t*>(lastKey.data()), lastRecno, key,
                             recno) >= 0)
                hi = mid;
            else
                lo = mid + 1;
        }
        pushStep(block, lo);
        block = child(b, lo);
    }
}

} // namespace dbf
