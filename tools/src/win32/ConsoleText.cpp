#include "ConsoleText.h"

#include <climits>
#include <cstddef>
#include <iostream>
#include <streambuf>
#include <string>

#include <io.h>
#include <windows.h>

namespace rv {

namespace {

HANDLE ConsoleOf(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode)
               ? handle
               : nullptr;
}

bool WriteWide(HANDLE console, std::string_view text)
{
    while (!text.empty()) {
        // A piece at a time keeps the conversion buffer small; pieces end on whole characters.
        std::size_t size = text.size() < 8192 ? text.size() : 8192;
        while (size < text.size() && size > 0 &&
               (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
            --size;
        const int length =
            ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(size), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(size), wide.data(), length);
        for (DWORD done = 0; done < wide.size();) {
            DWORD written = 0;
            if (!::WriteConsoleW(console, wide.data() + done,
                                 static_cast<DWORD>(wide.size()) - done, &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        text.remove_prefix(size);
    }
    return true;
}

// How much of text ends on a whole UTF-8 character: a character cut by the buffer's end waits for
// its remaining bytes instead of being shown as two replacement marks.
std::size_t WholeCharacters(const char* text, std::size_t size)
{
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return needed > back ? size - back : size;
    }
    return size;
}

class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : Console_(console) { setp(Buffer_, Buffer_ + Size); }

protected:
    int_type overflow(int_type c) override
    {
        if (!Flush())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    static constexpr std::size_t Size = 4096;

    bool Flush()
    {
        const auto size = static_cast<std::size_t>(pptr() - pbase());
        const std::size_t whole = WholeCharacters(pbase(), size);
        const bool ok = WriteWide(Console_, std::string_view(pbase(), whole));
        const std::size_t rest = size - whole;
        std::char_traits<char>::move(Buffer_, Buffer_ + whole, rest);
        setp(Buffer_, Buffer_ + Size);
        pbump(static_cast<int>(rest));
        return ok;
    }

    HANDLE Console_;
    char Buffer_[Size];
};

} // namespace

void UseConsoleText()
{
    // Never destroyed: the streams are flushed at exit after every static object is gone.
    if (const HANDLE out = ConsoleOf(::GetStdHandle(STD_OUTPUT_HANDLE)))
        std::cout.rdbuf(new ConsoleBuffer(out));
    if (const HANDLE err = ConsoleOf(::GetStdHandle(STD_ERROR_HANDLE)))
        std::cerr.rdbuf(new ConsoleBuffer(err));
}

bool WriteConsoleText(int fd, std::string_view text)
{
    const HANDLE console = ConsoleOf(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)));
    return console != nullptr && WriteWide(console, text);
}

} // namespace rv
