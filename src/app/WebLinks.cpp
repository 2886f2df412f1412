#include "app/WebLinks.h"

#include <cstdlib>
#include <utility>

namespace vessamo {

namespace {

// Placeholder addresses under the reserved ".example" domain: until a build
// names its real sites, no link can lead to somebody else's.
constexpr const char* kDefaultSite = "https://vessamo.example";
constexpr const char* kDefaultSiblingSite = "https://tessoral.example";

std::string withoutTrailingSlash(std::string site) {
    while (!site.empty() && site.back() == '/') {
        site.pop_back();
    }
    return site;
}

std::string environmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

WebLinks::WebLinks(std::string site, std::string siblingSite)
    : site_(withoutTrailingSlash(std::move(site))),
      siblingSite_(withoutTrailingSlash(std::move(siblingSite))) {}

WebLinks WebLinks::defaults() {
    return WebLinks(environmentOr("VESSAMO_SITE", kDefaultSite),
                    environmentOr("VESSAMO_SIBLING_SITE", kDefaultSiblingSite));
}

std::string WebLinks::homePage() const {
    return site_;
}

std::string WebLinks::productPage() const {
    return site_ + "/Vessamo.html";
}

std::string WebLinks::supportPage() const {
    return site_ + "/support.html";
}

std::string WebLinks::productGuide() const {
    return site_ + "/guide/how-to-use-Vessamo.html";
}

std::string WebLinks::learnMore() const {
    return siblingSite_ + "/resource.html";
}

// The other tool is the sibling site's own product: its home page.
std::string WebLinks::otherProduct() const {
    return siblingSite_;
}

}  // namespace vessamo
