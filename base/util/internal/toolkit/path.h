// File names: built into fixed-size buffers (a name that does not fit is
// refused, never cut: a cut name can name another file), and split at their
// last '/' into folder and name.
#ifndef UL_TOOLKIT_PATH_H_
#define UL_TOOLKIT_PATH_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace toolkit {

// Writes dir + "/" + name + suffix (the suffix verbatim, e.g. ".pbd") and a
// NUL into out[size]. Returns false, leaving out empty, when the result and
// its NUL need more than size bytes: a result of size - 1 bytes fits, one of
// size bytes is refused.
bool JoinPath(char* out, size_t size, std::string_view dir, std::string_view name,
              std::string_view suffix = {});

template <size_t N>
bool JoinPath(char (&out)[N], std::string_view dir, std::string_view name,
              std::string_view suffix = {}) {
  return JoinPath(out, N, dir, name, suffix);
}

// Concatenates the pieces into out[size] with a NUL; false (out empty) when
// they do not fit, or when size is 0 (nothing written then). No piece may
// point into out.
bool Concat(char* out, size_t size, std::initializer_list<std::string_view> pieces);

// A path split at its last '/': dir is what comes before it (empty for a
// name right under the root) and base what comes after; without a '/',
// has_dir is false and base is the whole path. Both views point into path.
struct PathSplit {
  bool has_dir;
  std::string_view dir;
  std::string_view base;
};
PathSplit SplitPath(std::string_view path);

// The folder to open for path's directory entry: dir, "/" for a name right
// under the root, "." for a path without a folder.
std::string_view FolderOf(const PathSplit& split);

// The path with the steps taken out that name nothing else, without a look
// at the file system: slashes repeated count as one, and a step "." goes
// ("./a//b/./c" is "a/b/c"; "/", "." and "" stay). A path that ends with a
// slash or a step "." (which ask for a folder there) keeps one slash at its
// end ("a/." is "a/"). A step ".." stays, with the step before it: a
// symbolic link can lead that step elsewhere than the folder above. Two
// paths with the same result name the same file; two with different results
// may still do so (through links), which only the file system can tell.
std::string LexicalPath(std::string_view path);

}  // namespace toolkit

#endif  // UL_TOOLKIT_PATH_H_
