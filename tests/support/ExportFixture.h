#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "backup/KTIOSDeviceNode.h"
#include "export/ExportSource.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// A scanned source made by hand for the export tests: a record, and a fake
// backup whose index maps relative paths to files in the test's folder.
class ExportFixture : public ::testing::Test {
protected:
    ExportFixture() {
        source.node = &device;
        source.bNewAppVersion = true;
        source.getFileKeyBytheFilepath =
            [this](std::string_view relative) -> std::optional<std::string> {
            auto found = backupFiles.find(std::string(relative));
            if (found == backupFiles.end()) {
                return std::nullopt;
            }
            return found->second;
        };
    }

    // Places a media file in the fake backup under its file key.
    std::string addBackupFile(const std::string& stored, const std::string& key,
                              const std::string& bytes) {
        const std::string file = home.path() + "/backup/" + key;
        writeFile(file, bytes);
        backupFiles["Message/" + stored] = file;
        return file;
    }

    TempHome home;
    std::string out = home.path() + "/out";
    KTIOSDeviceNode device;
    ExportSource source;
    std::map<std::string, std::string> backupFiles;
};

}  // namespace vessamo::test
