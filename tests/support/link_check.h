// A link checker for the sites and libraries hlp2html writes: every href,
// src, usemap, popovertarget and refresh URL of every page leads to a file
// and an element that exist.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fixture {

// The start tags of a page with their attributes, values as written (the
// writer quotes every value with double quotes).
struct Tag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
};
std::vector<Tag> Tags(const std::string &page);

struct LinkCheckOptions {
  // A library: "../" links between its sites are followed and must stay
  // inside the root.  A single site: they lead elsewhere and are left alone.
  bool followParentLinks = false;
  // Called for every picture (a src into a "pictures" folder); false marks
  // it broken.
  std::function<bool(const std::filesystem::path &)> pictureReadsBack;
};

struct LinkCheck {
  size_t pages = 0, links = 0, images = 0;
  size_t crossLinks = 0;  // links from one site of a library to another
  std::vector<std::string> broken;
};

LinkCheck CheckLinks(const std::filesystem::path &root, const LinkCheckOptions &options = {});

}  // namespace fixture
