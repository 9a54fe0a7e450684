#include "net/buffer.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int size) : m_data(size > 0 ? size : kDefaultSize) {}

void TBuffer::SetBufSize(int size)
{
    if (size <= 0)
        size = kDefaultSize;
    const int pending = m_wrCount - m_rdCount;
    std::vector<char> data(std::max(size, pending));
    std::memcpy(data.data(), m_data.data() + m_rdCount, pending);
    m_data.swap(data);
    m_rdCount = 0;
    m_wrCount = pending;
}

int TBuffer::Write(const void* data, int len)
{
    const int count = std::clamp(BufSize() - m_wrCount, 0, std::max(len, 0));
    std::memcpy(m_data.data() + m_wrCount, data, count);
    m_wrCount += count;
    return count;
}

const char* TBuffer::Peek(int& len) const
{
    len = m_wrCount - m_rdCount;
    return m_data.data() + m_rdCount;
}

void TBuffer::Remove(int n)
{
    m_rdCount = std::min(m_rdCount + std::max(n, 0), m_wrCount);
    if (m_rdCount == m_wrCount)
        m_rdCount = m_wrCount = 0;
}
