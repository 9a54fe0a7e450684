#pragma once

#include <vector>

// One block of a socket's send queue. Bytes are written at the end and sent
// from the front; once everything written has been sent the block is empty
// again and is reused instead of freed.
class TBuffer {
public:
    static constexpr int kDefaultSize = 1514; // one Ethernet frame

    // A size of 0 or less selects kDefaultSize.
    explicit TBuffer(int size = kDefaultSize);

    int BufSize() const { return static_cast<int>(m_data.size()); }
    // Changes the capacity, keeping the unsent bytes.
    void SetBufSize(int size);

    // Copies as many of the bytes as still fit; returns that count.
    int Write(const void* data, int len);
    // The unsent bytes and their number (0 when the block is empty).
    const char* Peek(int& len) const;
    // Marks n unsent bytes as sent.
    void Remove(int n);

    int WrCount() const { return m_wrCount; }
    int RdCount() const { return m_rdCount; }
    bool IsEmpty() const { return m_rdCount >= m_wrCount; }

private:
    std::vector<char> m_data;
    int m_wrCount = 0;
    int m_rdCount = 0;
};
