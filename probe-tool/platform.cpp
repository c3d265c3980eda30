#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <rpc.h>
#include <windows.h>
#else
#include <csignal>
#include <uuid/uuid.h>
#endif

namespace Platform {

namespace {
const char uuidScheme[] = "urn:uuid:";

// White space as the C locale's isspace() knows it, which "%s" stops at.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

QByteArray newMessageId()
{
    QByteArray id(uuidScheme);
#ifdef _WIN32
    UUID uuid;
    UuidCreate(&uuid);
    RPC_CSTR text = nullptr;
    if (UuidToStringA(&uuid, &text) == RPC_S_OK) {
        id += reinterpret_cast<const char *>(text);
        RpcStringFreeA(&text);
    }
#else
    uuid_t uuid;
    uuid_generate(uuid);
    char text[37];
    uuid_unparse_lower(uuid, text);
    id += text;
#endif
    return id;
}

int scanToken(const char *source, char *target, std::size_t size)
{
#ifdef _WIN32
    const int scanned = sscanf_s(source, "%s", target, static_cast<unsigned>(size));
    return scanned == EOF ? -1 : scanned;
#else
    while (isSpace(*source))
        ++source;
    if (*source == '\0')
        return -1;
    std::size_t length = 0;
    while (source[length] != '\0' && !isSpace(source[length]))
        ++length;
    if (length >= size) {
        target[0] = '\0';
        return 0;
    }
    std::memcpy(target, source, length);
    target[length] = '\0';
    return 1;
#endif
}

bool copyText(char *target, std::size_t size, const char *source)
{
    // strcpy_s would call the invalid-parameter handler on overflow, which
    // ends the process by default, so the length is checked first everywhere.
    if (std::strlen(source) >= size) {
        target[0] = '\0';
        return false;
    }
#ifdef _WIN32
    strcpy_s(target, size, source);
#else
    std::memcpy(target, source, std::strlen(source) + 1);
#endif
    return true;
}

int formatText(char *target, std::size_t size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
#ifdef _WIN32
    // vsprintf_s would call the invalid-parameter handler on overflow; this
    // one cuts the text instead and returns -1.
    const int written = _vsnprintf_s(target, size, _TRUNCATE, format, arguments);
#else
    int written = std::vsnprintf(target, size, format, arguments);
    if (written >= int(size))
        written = -1;
#endif
    va_end(arguments);
    return written;
}

QString productVersion()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return {};
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &unused);
    if (size == 0)
        return {};
    QByteArray record(int(size), '\0');
    if (!GetFileVersionInfoW(path, 0, size, record.data()))
        return {};
    // The strings are kept per language and code page: take the first pair listed.
    void *value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueW(record.constData(), L"\\VarFileInfo\\Translation", &value, &valueLength) ||
        valueLength < 2 * sizeof(WORD))
        return {};
    const auto *translation = static_cast<const WORD *>(value);
    const QString key = QStringLiteral("\\StringFileInfo\\%1%2\\ProductVersion")
                            .arg(translation[0], 4, 16, QLatin1Char('0'))
                            .arg(translation[1], 4, 16, QLatin1Char('0'));
    if (!VerQueryValueW(record.constData(), reinterpret_cast<const wchar_t *>(key.utf16()), &value,
                        &valueLength) ||
        valueLength == 0)
        return {};
    return QString::fromWCharArray(static_cast<const wchar_t *>(value));
#else
    return {};
#endif
}

void ignoreBrokenPipe()
{
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void terminateProcess(int status)
{
    std::fflush(stdout);
    std::_Exit(status);
}

} // namespace Platform
