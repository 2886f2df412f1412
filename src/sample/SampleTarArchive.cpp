#include "sample/SampleTarArchive.h"

#include <array>
#include <cstdio>
#include <fstream>

#include "sample/SampleImage.h"

namespace vessamo::sample {

namespace {

constexpr size_t kBlock = 512;
constexpr uint32_t kMtime = 1642252800;  // 2022-01-15

void putText(std::string& header, size_t offset, size_t width, const std::string& text) {
    header.replace(offset, std::min(width, text.size()), text.substr(0, width));
}

void putOctal(std::string& header, size_t offset, size_t width, uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%0*llo", static_cast<int>(width - 1),
                  static_cast<unsigned long long>(value));
    putText(header, offset, width - 1, text);
}

char typeFlag(TarMember::Kind kind) {
    switch (kind) {
        case TarMember::Kind::Folder:
            return '5';
        case TarMember::Kind::Symlink:
            return '2';
        case TarMember::Kind::HardLink:
            return '1';
        default:
            return '0';
    }
}

std::string header(const std::string& name, char type, uint32_t mode, uint64_t size,
                   const std::string& link) {
    std::string block(kBlock, '\0');
    putText(block, 0, 100, name);
    putOctal(block, 100, 8, mode);
    putOctal(block, 108, 8, 0);
    putOctal(block, 116, 8, 0);
    putOctal(block, 124, 12, size);
    putOctal(block, 136, 12, kMtime);
    block[156] = type;
    putText(block, 157, 100, link);
    putText(block, 257, 6, std::string("ustar\0", 6));
    putText(block, 263, 2, "00");
    putText(block, 265, 32, "mobile");
    putText(block, 297, 32, "mobile");
    block.replace(148, 8, 8, ' ');
    unsigned sum = 0;
    for (unsigned char c : block) {
        sum += c;
    }
    char check[8];
    std::snprintf(check, sizeof(check), "%06o", sum);
    block.replace(148, 6, check, 6);
    block[154] = '\0';
    block[155] = ' ';
    return block;
}

void appendPadded(std::string& out, const std::string& data) {
    out += data;
    out.append((kBlock - data.size() % kBlock) % kBlock, '\0');
}

// GNU tar's record for a name or link target too long for the header.
void appendLongText(std::string& out, char type, const std::string& text) {
    const std::string data = text + '\0';
    out += header("././@LongLink", type, 0644, data.size(), "");
    appendPadded(out, data);
}

void appendLittleEndian(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

}  // namespace

SampleTarArchive& SampleTarArchive::addFile(std::string name, std::string content) {
    return addMember({TarMember::Kind::File, std::move(name), std::move(content), "", 0644});
}

SampleTarArchive& SampleTarArchive::addFolder(std::string name) {
    return addMember({TarMember::Kind::Folder, std::move(name), "", "", 0755});
}

SampleTarArchive& SampleTarArchive::addSymlink(std::string name, std::string target) {
    return addMember({TarMember::Kind::Symlink, std::move(name), "", std::move(target), 0777});
}

SampleTarArchive& SampleTarArchive::addMember(TarMember member) {
    members_.push_back(std::move(member));
    return *this;
}

std::string SampleTarArchive::tarBytes() const {
    std::string out;
    for (const TarMember& member : members_) {
        if (member.name.size() > 100) {
            appendLongText(out, 'L', member.name);
        }
        if (member.linkTarget.size() > 100) {
            appendLongText(out, 'K', member.linkTarget);
        }
        const bool file = member.kind == TarMember::Kind::File;
        std::string block = header(member.name, typeFlag(member.kind), member.mode,
                                   file ? member.content.size() : 0, member.linkTarget);
        if (member.damagedHeader) {
            block[148] = block[148] == '7' ? '6' : '7';
        }
        out += block;
        if (file) {
            appendPadded(out, member.content);
        }
    }
    out.append(2 * kBlock, '\0');
    return out;
}

std::string gzipStored(const std::string& data) {
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    size_t offset = 0;
    do {
        const size_t length = std::min<size_t>(0xFFFF, data.size() - offset);
        const bool last = offset + length == data.size();
        out += static_cast<char>(last ? 1 : 0);
        appendLittleEndian(out, static_cast<uint32_t>(length), 2);
        appendLittleEndian(out, static_cast<uint32_t>(~length & 0xFFFF), 2);
        out.append(data, offset, length);
        offset += length;
    } while (offset < data.size());
    appendLittleEndian(out, crc32(data), 4);
    appendLittleEndian(out, static_cast<uint32_t>(data.size()), 4);
    return out;
}

std::string SampleTarArchive::gzipBytes() const {
    return gzipStored(tarBytes());
}

bool SampleTarArchive::writeGzip(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << gzipBytes();
    return static_cast<bool>(out);
}

bool SampleTarArchive::writeTar(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << tarBytes();
    return static_cast<bool>(out);
}

}  // namespace vessamo::sample
