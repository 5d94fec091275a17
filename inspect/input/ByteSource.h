// Bytes read in blocks, for readers that take their input a record at a time: a file is never
// held whole, so a report over a hundred thousand machines needs the memory of one block.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

class ByteSource {
  public:
    virtual ~ByteSource() = default;

    // The next byte, or -1 at the end (or after a read error: see Error()).
    int Get() {
        if (m_position == m_end && !Refill()) return -1;
        return static_cast<unsigned char>(m_buffer[m_position++]);
    }
    // The next byte without taking it, or -1.
    int Peek() {
        if (m_position == m_end && !Refill()) return -1;
        return static_cast<unsigned char>(m_buffer[m_position]);
    }
    // The bytes up to the next line feed, which is taken and not kept; `line` keeps at most
    // `limit` of them and `cut` says whether there were more. False at the end of the input.
    bool Line(std::string& line, size_t limit, bool& cut);
    // The bytes read ahead and not yet taken, after reading a first block if none is.
    std::string_view Ahead();
    // Takes up to `size` bytes into `into`: what is read ahead, else the next block. 0 at the end.
    size_t Take(char* into, size_t size);
    const std::string& Error() const { return m_error; }

  protected:
    // Fills `into` with up to `size` bytes; 0 at the end. A failure sets `error` and returns 0.
    virtual size_t Read(char* into, size_t size, std::string& error) = 0;

  private:
    bool Refill();

    char m_buffer[1 << 16];
    size_t m_position = 0;
    size_t m_end = 0;
    std::string m_error;
};

// A file opened by name (UTF-8 on Windows; "-" is standard input), closed with the object.
class FileSource : public ByteSource {
  public:
    FileSource() = default;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override;
    // False with a one-line `error` when the file cannot be opened.
    bool Open(const std::string& path, std::string& error);

  protected:
    size_t Read(char* into, size_t size, std::string& error) override;

  private:
    int m_fd = -1;
};

// Bytes already in memory (tests and fuzzing); they must outlive the source.
class TextSource : public ByteSource {
  public:
    explicit TextSource(std::string_view text) : m_text(text) {}

  protected:
    size_t Read(char* into, size_t size, std::string& error) override;

  private:
    std::string_view m_text;
};
