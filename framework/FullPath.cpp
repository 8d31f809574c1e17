#include "FullPath.h"

namespace fw {

std::optional<FullPath> FullPath::Parse(std::u16string_view text) {
  const auto plain = PlainFormOf(text);
  if (!plain) return std::nullopt;
  const std::u16string_view path(*plain);
  const PathKind kind = KindOf(path);
  if (kind != PathKind::Drive && kind != PathKind::Unc) return std::nullopt;
  std::vector<std::u16string> names;
  std::size_t start = kind == PathKind::Drive ? 3 : 2;
  std::size_t rootNames = kind == PathKind::Unc ? 2 : 0;  // server and share: never empty
  for (std::size_t i = start; i <= path.size(); ++i) {
    if (i < path.size() && !IsPathSeparator(path[i])) continue;
    const auto name = path.substr(start, i - start);
    if (IsTrimmedName(name)) return std::nullopt;
    if (name.empty() && rootNames > 0 && i < path.size()) return std::nullopt;
    if (!name.empty()) names.emplace_back(name);
    if (rootNames > 0) --rootNames;
    start = i + 1;
  }
  FullPath parsed;
  parsed.onShare_ = kind == PathKind::Unc;
  parsed.writtenAsDevice_ = KindOf(text) == PathKind::Device;
  if (kind == PathKind::Drive) {
    parsed.root_ = {path[0], path[1], u'\\'};
  } else {
    if (names.size() < 2) return std::nullopt;  // "\\server" or "\\server\share": no folder in it
    parsed.root_ = u"\\\\" + names[0] + u'\\' + names[1] + u'\\';
    names.erase(names.begin(), names.begin() + 2);
  }
  parsed.names_ = std::move(names);
  parsed.comparable_ = UpperCase(parsed.Text());
  if (parsed.comparable_.back() == u'\\') parsed.comparable_.pop_back();
  return parsed;
}

std::u16string FullPath::Text() const {
  std::u16string text = root_;
  for (std::size_t i = 0; i < names_.size(); ++i) text += (i == 0 ? u"" : u"\\") + names_[i];
  return text;
}

FullPath FullPath::Parent() const {
  FullPath parent(*this);
  if (parent.names_.empty()) return parent;
  // The comparable form ends in '\' and the name's units, one for one (the case rule keeps the length).
  parent.comparable_.resize(parent.comparable_.size() - parent.names_.back().size() - 1);
  parent.names_.pop_back();
  return parent;
}

FullPath FullPath::RootPath() const {
  FullPath root(*this);
  root.names_.clear();
  root.comparable_ = UpperCase(root_);
  root.comparable_.pop_back();  // a root's separator
  root.writtenAsDevice_ = false;
  return root;
}

FullPath FullPath::Child(std::u16string_view name) const {
  FullPath child(*this);
  child.names_.emplace_back(name);
  child.comparable_ += u'\\' + UpperCase(name);
  return child;
}

bool IsBelow(std::u16string_view path, std::u16string_view folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && path.substr(0, folder.size()) == folder &&
         path[folder.size()] == u'\\';
}

bool IsAtOrBelow(std::u16string_view path, std::u16string_view folder) {
  return path == folder || IsBelow(path, folder);
}

}  // namespace fw
