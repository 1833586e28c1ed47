// tulora-pack: appends a payload to an executable.
//
//   tulora-pack --launcher IN --output OUT [--id N] [--key N] [--directory NAME]
//               NAME=PATH...
//
// Each NAME=PATH puts the file PATH into the payload's file set under NAME,
// in the order given. --id and --key take decimal or 0x-prefixed numbers;
// without --directory the payload carries no directory name and the
// launcher extracts into V_N<id in hex>. OUT is written whole and made
// executable.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/payload.h"

namespace {

using tulora::launcher::PayloadFile;
using tulora::launcher::PayloadOptions;

struct Arguments {
  std::string launcher, output;
  PayloadOptions options;
  std::vector<std::string> files;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ParseNumber(const char* text, uint32_t& value) {
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 0);
  if (end == text || *end != 0 || n > 0xFFFFFFFFull) return false;
  value = static_cast<uint32_t>(n);
  return true;
}

int Usage(const char* problem) {
  std::fprintf(stderr,
               "tulora-pack: %s\nusage: tulora-pack --launcher IN --output OUT [--id N] "
               "[--key N] [--directory NAME] NAME=PATH...\n",
               problem);
  return 2;
}

// Returns null when the arguments are complete, else what is wrong.
const char* Parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option.rfind("--", 0) == 0 && !hasValue) return "an option lacks its value";
    if (option == "--launcher") {
      args.launcher = argv[++i];
    } else if (option == "--output") {
      args.output = argv[++i];
    } else if (option == "--directory") {
      args.options.directoryName = argv[++i];
    } else if (option == "--id") {
      if (!ParseNumber(argv[++i], args.options.directoryId)) return "bad --id";
    } else if (option == "--key") {
      if (!ParseNumber(argv[++i], args.options.key)) return "bad --key";
    } else if (option.find('=') != std::string::npos && option.rfind("--", 0) != 0) {
      args.files.push_back(option);
    } else {
      return "unknown argument";
    }
  }
  if (args.launcher.empty() || args.output.empty()) return "--launcher and --output are required";
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (const char* problem = Parse(argc, argv, args)) return Usage(problem);

  const std::string& directory = args.options.directoryName;
  if (!directory.empty() && !tulora::launcher::IsPlainName(directory)) {
    std::fprintf(stderr, "tulora-pack: directory name '%s' is not a plain name\n",
                 directory.c_str());
    return 1;
  }
  std::vector<PayloadFile> files;
  for (const std::string& entry : args.files) {
    const size_t eq = entry.find('=');
    PayloadFile file{entry.substr(0, eq), {}};
    if (file.name.empty() || !tulora::launcher::IsPlainName(file.name)) {
      std::fprintf(stderr, "tulora-pack: file name '%s' is not a plain name\n", file.name.c_str());
      return 1;
    }
    if (!ReadFile(entry.substr(eq + 1), file.contents)) {
      std::fprintf(stderr, "tulora-pack: cannot read %s\n", entry.substr(eq + 1).c_str());
      return 1;
    }
    files.push_back(std::move(file));
  }
  std::vector<uint8_t> image;
  if (!ReadFile(args.launcher, image)) {
    std::fprintf(stderr, "tulora-pack: cannot read %s\n", args.launcher.c_str());
    return 1;
  }
  const std::vector<uint8_t> payload = tulora::launcher::BuildPayload(files, args.options);
  if (payload.empty()) return std::fprintf(stderr, "tulora-pack: compression failed\n"), 1;
  image.insert(image.end(), payload.begin(), payload.end());

  const std::string temp = args.output + ".part";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out || chmod(temp.c_str(), 0755) != 0 ||
      std::rename(temp.c_str(), args.output.c_str()) != 0) {
    std::remove(temp.c_str());
    std::fprintf(stderr, "tulora-pack: cannot write %s\n", args.output.c_str());
    return 1;
  }
  return 0;
}
