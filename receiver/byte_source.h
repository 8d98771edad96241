#pragma once

// Where the signal cycle gets its bytes.
class ByteSource {
  public:
    // A read that failed. The source has already written its own error line.
    static constexpr int ReadFailed = -1;
    // The source was asked to stop; never a byte, never a failure. Only shutdown sees it.
    static constexpr int Stopped = -2;

    virtual ~ByteSource() = default;

    // Blocks until a byte has arrived (0..255), the read failed (ReadFailed) or the
    // source was stopped (Stopped).
    virtual int ReadByte() = 0;
};
