#include "runtime/kernel/program_start.h"

#include "runtime/kernel/platform.h"
#include "runtime/kernel/platform_winapi.h"

namespace tulora::rt {
namespace {

// Library names become file names: only letters, digits and "_" are
// accepted, so that an image cannot name a file outside the directory.
bool IsPlainName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool LoadLibraries(const image::ProgramImage& image, const std::string& directory,
                   ProgramBindings& bindings, std::string& error) {
  bindings.libraries.assign(image.libraries.size(), nullptr);
  for (size_t row = 1; row < image.libraries.size(); ++row) {
    const std::string& name = image.libraries[row].name;
    if (!IsPlainName(name)) {
      error = "library row " + std::to_string(row) + " has the unusable name '" + name + "'";
      return false;
    }
    bindings.libraries[row] = LoadSupportLibrary(directory, name, error);
    if (bindings.libraries[row] == nullptr) return false;
  }
  return true;
}

}  // namespace

bool ResolveDllTable(const image::ProgramImage& image, ProgramBindings& bindings,
                     std::string& error) {
  bindings.dllFunctions.clear();
  for (size_t i = 0; i < image.dllFunctions.size(); ++i) {
    const image::DllFunction& f = image.dllFunctions[i];
    const DllExport* target = ResolveDllFunction(f.dllName, f.functionName);
    if (target == nullptr) {
      error = "DLL function entry " + std::to_string(i) + " ('" + f.functionName + "' of '" +
              f.dllName + "') is not available";
      return false;
    }
    bindings.dllFunctions.push_back(target);
  }
  return true;
}

bool PrepareProgram(std::span<const uint8_t> bytes, const std::string& libraryDirectory,
                    LoadedImage& loaded, std::string& error) {
  image::ProgramImage image;
  if (!image::ReadImage(bytes, image, error)) return false;
  if (image.libraries.empty()) {
    error = "the image's library table is empty";
    return false;
  }
  ProgramBindings bindings;
  if (!ResolveDllTable(image, bindings, error)) return false;
  if (!LoadLibraries(image, libraryDirectory, bindings, error)) return false;
  if (!PlaceImage(image, KernelServiceTable(), loaded, error)) return false;
  RegisterPlatformObjects();
  BindProgram(std::move(bindings));
  return true;
}

void RunEntryRoutine(const LoadedImage& loaded) {
  reinterpret_cast<ApplicationRoutine>(loaded.entry)();
}

}  // namespace tulora::rt
