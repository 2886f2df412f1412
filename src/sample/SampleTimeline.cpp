#include "sample/SampleTimeline.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/PlistValue.h"
#include "sample/SampleImage.h"
#include "sample/SampleSources.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr size_t kCallValues = 16;

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

class TimelineWriter {
public:
    TimelineWriter(std::string folder, std::string* error)
        : folder_(std::move(folder)), error_(error) {}

    bool write(const std::string& relative, const std::string& bytes) {
        const fs::path path = fs::path(folder_) / relative;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            return fail(error_, "cannot write " + path.string());
        }
        written_.push_back(relative);
        return true;
    }

    // A database written by its own function straight into the folder.
    template <typename Writer>
    bool database(const std::string& relative, Writer&& writer) {
        std::string reason;
        if (!writer(folder_ + "/" + relative, &reason)) {
            return fail(error_, reason);
        }
        written_.push_back(relative);
        return true;
    }

    [[nodiscard]] std::vector<std::string> files() const {
        std::vector<std::string> sorted = written_;
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        return sorted;
    }

private:
    std::string folder_;
    std::string* error_;
    std::vector<std::string> written_;
};

std::string preferences(const WhatsAppSample& sample) {
    PlistValue::Dictionary prefs;
    prefs["OwnJabberID"] = PlistValue::string(sample.ownerNumber + "@s.whatsapp.net");
    prefs["FullUserName"] = PlistValue::string(sample.ownerName);
    prefs["CurrentStatusText"] = PlistValue::string(sample.ownerStatus);
    PlistValue::Bytes bytes = PlistValue::dictionary(std::move(prefs)).toBinary();
    return std::string(bytes.begin(), bytes.end());
}

// Every other person has set a status; those with a profile picture carry
// its stored path, as the chat database's picture rows do.
std::vector<SampleStatus> statusesOf(const WhatsAppSample& sample) {
    std::vector<SampleStatus> statuses;
    for (size_t i = 0; i < sample.people.size(); ++i) {
        const SamplePerson& person = sample.people[i];
        SampleStatus status{person.jid(), std::nullopt, std::nullopt};
        if (i % 2 == 0) {
            status.text = "Hey there! " + person.first + " is using WhatsApp.";
        }
        for (const auto& [jid, path] : sample.database.pictures) {
            if (jid == status.whatsAppId) {
                status.picturePath = path;
            }
        }
        statuses.push_back(std::move(status));
    }
    return statuses;
}

// Real call entries carry 16 values. Every third call has a dictionary of
// 15 or 17 values between its JID and its own entry, which a reader must
// pass over, keeping the JID for the entry after it.
std::vector<CallArchiveShape> callShapes(size_t count, bool odd) {
    std::vector<CallArchiveShape> shapes(count);
    for (size_t i = 0; i < count; ++i) {
        shapes[i].values = kCallValues;
        if (odd && i % 3 == 1) {
            shapes[i].decoyValues = i % 2 == 0 ? 15 : 17;
        }
    }
    return shapes;
}

}  // namespace

std::string emptyZipArchive() {
    // Only the end-of-central-directory record: no entries.
    return std::string("PK\x05\x06", 4) + std::string(18, '\0');
}

std::optional<TimelineSample> writeTimelineSample(const std::string& folder,
                                                  const TimelineSampleOptions& options,
                                                  std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        fail(error, "cannot create " + folder);
        return std::nullopt;
    }
    TimelineSample sample;
    sample.folder = folder;
    sample.whatsApp = makeWhatsAppSample(options.whatsApp);
    sample.whatsApp.database.statuses = statusesOf(sample.whatsApp);
    sample.statuses = sample.whatsApp.database.statuses;

    TimelineWriter out(folder, error);
    bool ok = out.write("net.whatsapp.WhatsApp.zip", emptyZipArchive()) &&
              out.write("net.whatsapp.WhatsApp.plist", preferences(sample.whatsApp)) &&
              out.database("ChatStorage.sqlite",
                           [&](const std::string& path, std::string* reason) {
                               return writeChatStorage(path, sample.whatsApp.database, reason);
                           }) &&
              out.database("Contacts.sqlite", [&](const std::string& path, std::string* reason) {
                  return writeContactsDatabase(path, sample.whatsApp.database, reason);
              });
    if (ok && options.photo) {
        sample.photo = solidColourPng(64, 64, 20, 120, 200);
        ok = out.write("photo.jpg", sample.photo);
    }
    if (ok && options.callLog) {
        sample.calls = callsOf(sample.whatsApp, options.calls);
        sample.callShapes = callShapes(sample.calls.size(), options.oddCallEntries);
        ok = out.write("calls.log", callLogArchive(sample.calls, sample.callShapes));
    }
    if (ok && options.addressBook) {
        sample.contacts = addressBookOf(sample.whatsApp, options.whatsApp.otherContacts);
        ok = out.write(kAddressBookKey, addressBookDatabase(sample.contacts));
    }
    for (const SampleMediaFile& file : sample.whatsApp.mediaFiles) {
        ok = ok && out.write("Library/" + file.relativePath, file.content);
    }
    if (!ok) {
        return std::nullopt;
    }
    sample.files = out.files();
    return sample;
}

}  // namespace vessamo::sample
