#pragma once

#include <string>

namespace vessamo {

// The web pages the menus, the drawer and the first launch open. Both sites
// are settings, so a build for another site needs no code change.
class WebLinks {
public:
    // Sites without a trailing "/"; one is removed when given.
    WebLinks(std::string site, std::string siblingSite);
    [[nodiscard]] static WebLinks defaults();

    [[nodiscard]] std::string homePage() const;      // the site itself
    [[nodiscard]] std::string productPage() const;   // "/Vessamo.html"
    [[nodiscard]] std::string supportPage() const;   // "/support.html"
    [[nodiscard]] std::string productGuide() const;  // "/guide/how-to-use-Vessamo.html"
    [[nodiscard]] std::string learnMore() const;     // sibling site "/resource.html"
    [[nodiscard]] std::string otherProduct() const;  // the page of the maker's other tool

    [[nodiscard]] const std::string& site() const { return site_; }

private:
    std::string site_;
    std::string siblingSite_;
};

}  // namespace vessamo
