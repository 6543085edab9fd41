// Bytes of a stream taken one at a time by a decoder that cannot know ahead where its data
// ends (run-length codes), read in pieces. What was read but not taken goes back to the
// stream when the source is done, so that whatever follows is read from where it starts.
#pragma once

#include "CImgIO.h"

namespace img {

class ByteSource {
public:
    explicit ByteSource(CImgIO& io) : m_io(io) {}
    ~ByteSource() {
        if (m_end > m_at) m_io.seek(-static_cast<long>(m_end - m_at), SEEK_CUR);
    }
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    bool next(BYTE& byte) {
        if (m_at == m_end) {
            m_end = m_io.read(m_buffer, sizeof m_buffer);
            m_at = 0;
            if (m_end == 0) return false;
        }
        byte = m_buffer[m_at++];
        return true;
    }

private:
    CImgIO& m_io;
    BYTE m_buffer[4096];
    unsigned m_at = 0;
    unsigned m_end = 0;
};

} // namespace img
