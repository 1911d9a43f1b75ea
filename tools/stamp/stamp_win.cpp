// halvora-stamp: writes an application id and a platform server into a copy
// of the program.
//
//   halvora-stamp --appid ID --server HOST[:PORT] [--publisher HEX[,HEX...]]
//                 TEMPLATE.exe OUTPUT.exe
//   halvora-stamp --print-publisher FILE.exe
//
// The values go into the copy as raw ASCII without a terminator: resource
// "APPID" 143, "SERVER_INFO" 147 and, when publishers are given, "PUBLISHER"
// 149 (app/install/publisher_pins.h): the copy then starts only programs
// that one of them signed. --print-publisher prints the pin of a signed
// file's signer. The copy is made and updated as a
// temporary file beside OUTPUT, read back, and only then renamed into place,
// so a failure leaves no output and an existing OUTPUT unchanged.
//
// Each resource is written in the language of its existing entries (the
// template's placeholders), or, when the template has none, in the language
// of the template's own resources. A second language would leave the old
// entry beside the new one (Wine's UpdateResourceW cannot delete an entry),
// and the program might read the stale one.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/install/publisher_pins.h"
#include "app/install/signature_win.h"
#include "base/file_names.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "res/resource.h"

namespace {

using halvora::win::FileHandle;
using halvora::win::ModuleHandle;

constexpr char kUsage[] =
    "usage: halvora-stamp --appid ID --server HOST[:PORT] [--publisher HEX[,HEX...]]\n"
    "                     TEMPLATE.exe OUTPUT.exe\n"
    "       halvora-stamp --print-publisher FILE.exe\n"
    "Writes the application id and the platform server (port 80 when none is\n"
    "given) into a copy of TEMPLATE.exe named OUTPUT.exe. Both values are\n"
    "printable ASCII. An existing OUTPUT.exe is replaced only on success.\n"
    "With --publisher the copy starts only setup programs signed by one of the\n"
    "listed publishers; each HEX is the pin that --print-publisher prints for a\n"
    "file the publisher signed (the SHA-256 of its key, in lower case).\n";

// A stamping failure: one line for the user, exit status 1.
struct Failure {
  std::string message;
};

// Bad command line: exit status 2.
struct UsageError {
  std::string message;
};

std::string Narrow(const std::wstring& text) { return halvora::WideToAnsi(text); }

// The system's text for an error code, without the trailing line break.
std::string SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) return "error " + std::to_string(error);
  return Narrow(text);
}

std::string LastError() { return SystemMessage(GetLastError()); }

// The value as ASCII bytes; `what` names it in the message.
std::string AsciiValue(const char* what, const std::wstring& value) {
  if (value.empty()) throw Failure{std::string(what) + " is empty"};
  std::string bytes;
  for (wchar_t c : value) {
    if (c < 0x20 || c > 0x7e) throw Failure{std::string(what) + " must be printable ASCII"};
    bytes += static_cast<char>(c);
  }
  return bytes;
}

std::string AppIdValue(const std::wstring& value) {
  const std::string id = AsciiValue("--appid", value);
  // The id names the application's folders and the single-instance mutex.
  if (id.find_first_of("\\/:*?\"<>|") != std::string::npos)
    throw Failure{"--appid must not contain any of \\ / : * ? \" < > |"};
  // ".." would name the folder above the applications' folder, and a
  // device name or a name Windows trims would not name a folder at all.
  if (!halvora::IsPlainFileName(value))
    throw Failure{
        "--appid must not be . or .., a device name (CON, NUL, COM1 ...), or end in a "
        "dot or a space"};
  return id;
}

std::string ServerValue(const std::wstring& value) {
  const std::string server = AsciiValue("--server", value);
  const size_t colon = server.rfind(':');
  if (colon == 0) throw Failure{"--server has no host before the ':'"};
  if (colon == std::string::npos) return server;
  const std::string port = server.substr(colon + 1);
  const bool digits = !port.empty() && port.size() <= 5 &&
                      port.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || std::stoul(port) < 1 || std::stoul(port) > 65535)
    throw Failure{"--server port must be a number from 1 to 65535"};
  return server;
}

// The list as the resource holds it.
std::string PublisherValue(const std::wstring& value) {
  const std::string list = AsciiValue("--publisher", value);
  if (!halvora::ParsePublisherList(list))
    throw Failure{
        "--publisher must be one or more SHA-256 hashes of 64 lower-case hex digits, "
        "separated by commas"};
  return list;
}

struct Options {
  std::wstring appId;
  std::wstring server;
  std::wstring publisher;  // empty: none given
  std::wstring printPublisherOf;
  std::wstring templatePath;
  std::wstring outputPath;
  bool help = false;
};

Options ParseOptions(int argc, wchar_t** argv) {
  Options options;
  bool haveAppId = false;
  bool haveServer = false;
  bool havePublisher = false;
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h") {
      options.help = true;
      return options;
    }
    if (arg == L"--print-publisher") {
      if (argc != 3) throw UsageError{"--print-publisher takes one FILE.exe and nothing else"};
      options.printPublisherOf = argv[2];
      return options;
    }
    if (arg == L"--appid" || arg == L"--server" || arg == L"--publisher") {
      if (i + 1 >= argc) throw UsageError{Narrow(arg) + " needs a value"};
      bool& given = arg == L"--appid" ? haveAppId : arg == L"--server" ? haveServer : havePublisher;
      if (given) throw UsageError{Narrow(arg) + " given twice"};
      given = true;
      (arg == L"--appid"    ? options.appId
       : arg == L"--server" ? options.server
                            : options.publisher) = argv[++i];
    } else if (arg.size() > 1 && arg[0] == L'-') {
      throw UsageError{"unknown option " + Narrow(arg)};
    } else {
      files.push_back(arg);
    }
  }
  if (!haveAppId) throw UsageError{"--appid is missing"};
  if (!haveServer) throw UsageError{"--server is missing"};
  // An empty list would leave the copy unpinned while the operator meant to pin it.
  if (havePublisher && options.publisher.empty()) throw Failure{"--publisher is empty"};
  if (files.size() != 2) throw UsageError{"expected TEMPLATE.exe and OUTPUT.exe"};
  options.templatePath = files[0];
  options.outputPath = files[1];
  return options;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full.empty() ? path : full;
}

std::wstring FolderOf(const std::wstring& fullPath) {
  const size_t slash = fullPath.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : fullPath.substr(0, slash + 1);
}

// The header checks of a PE image: "MZ", and "PE\0\0" where the DOS header
// points.
void CheckExecutable(const std::wstring& path, const std::string& shown) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw Failure{"cannot read template " + shown + ": " + LastError()};
  IMAGE_DOS_HEADER dos = {};
  DWORD read = 0;
  DWORD signature = 0;
  const bool isPe =
      ReadFile(file.Get(), &dos, sizeof(dos), &read, nullptr) && read == sizeof(dos) &&
      dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0 &&
      SetFilePointer(file.Get(), dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      ReadFile(file.Get(), &signature, sizeof(signature), &read, nullptr) &&
      read == sizeof(signature) && signature == IMAGE_NT_SIGNATURE;
  if (!isPe) throw Failure{"template " + shown + " is not a Windows executable"};
}

ModuleHandle LoadImageData(const std::wstring& path) {
  return ModuleHandle(LoadLibraryExW(path.c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

std::vector<WORD> LanguagesOf(HMODULE image, const wchar_t* type, WORD id) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(image, type, MAKEINTRESOURCEW(id), &CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

// The language of the template's own resources: that of its version
// information, else of the first resource it holds, else neutral.
BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  *reinterpret_cast<WORD*>(found) = language;
  return FALSE;
}
BOOL CALLBACK FirstNameLanguage(HMODULE image, LPCWSTR type, LPWSTR name, LONG_PTR found) {
  EnumResourceLanguagesW(image, type, name, &FirstLanguage, found);
  return FALSE;
}
BOOL CALLBACK FirstTypeLanguage(HMODULE image, LPWSTR type, LONG_PTR found) {
  EnumResourceNamesW(image, type, &FirstNameLanguage, found);
  return FALSE;
}

WORD TemplateLanguage(HMODULE image) {
  const std::vector<WORD> version = LanguagesOf(image, RT_VERSION, VS_VERSION_INFO);
  if (!version.empty()) return version.front();
  WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  EnumResourceTypesW(image, &FirstTypeLanguage, reinterpret_cast<LONG_PTR>(&language));
  return language;
}

struct Stamp {
  const wchar_t* type;
  WORD id;
  std::string value;
  std::vector<WORD> languages;  // where to write it
};

// Every entry of every stamped resource holds exactly its new value.
bool ReadsBack(HMODULE image, const std::vector<Stamp>& stamps) {
  for (const Stamp& stamp : stamps) {
    const std::vector<WORD> languages = LanguagesOf(image, stamp.type, stamp.id);
    if (languages.empty()) return false;
    for (WORD language : languages) {
      const HRSRC info = FindResourceExW(image, stamp.type, MAKEINTRESOURCEW(stamp.id), language);
      const HGLOBAL loaded = info ? LoadResource(image, info) : nullptr;
      const void* bytes = loaded ? LockResource(loaded) : nullptr;
      if (!bytes || SizeofResource(image, info) != stamp.value.size() ||
          stamp.value.compare(0, std::string::npos, static_cast<const char*>(bytes),
                              stamp.value.size()) != 0)
        return false;
    }
  }
  return true;
}

// A temporary file beside the output, removed unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::wstring& folder, const std::string& shownOutput) {
    wchar_t name[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), L"hst", 0, name))
      throw Failure{"cannot write " + shownOutput + ": " + LastError()};
    path = name;
  }
  ~TemporaryFile() {
    if (!path.empty()) DeleteFileW(path.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::wstring& Path() const { return path; }
  bool MoveTo(const std::wstring& target) {
    if (!MoveFileExW(path.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    path.clear();
    return true;
  }

 private:
  std::wstring path;
};

// The pin of the file's signer, for --publisher.
std::string PrintedPublisher(const std::wstring& path) {
  const std::string shown = Narrow(path);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    throw Failure{"cannot read " + shown + ": " + LastError()};
  const halvora::SignatureFacts facts = halvora::CheckSignature(FullPath(path));
  if (facts.status != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(facts.status));
    throw Failure{shown + " carries no valid signature (" + SystemMessage(facts.status) + ", " +
                  code + ")"};
  }
  if (facts.signerKeyHash.empty()) throw Failure{"cannot read the signer of " + shown};
  return facts.signerKeyHash;
}

void StampCopy(const Options& options) {
  const std::string appId = AppIdValue(options.appId);
  const std::string server = ServerValue(options.server);
  const std::wstring templatePath = FullPath(options.templatePath);
  const std::wstring outputPath = FullPath(options.outputPath);
  const std::string shownOutput = Narrow(options.outputPath);

  const std::string shownTemplate = Narrow(options.templatePath);
  CheckExecutable(templatePath, shownTemplate);
  std::vector<Stamp> stamps = {{L"APPID", IDR_APPID, appId, {}},
                               {L"SERVER_INFO", IDR_SERVER_INFO, server, {}}};
  if (!options.publisher.empty())
    stamps.push_back({L"PUBLISHER", IDR_PUBLISHER, PublisherValue(options.publisher), {}});
  {
    const ModuleHandle image = LoadImageData(templatePath);
    if (!image)
      throw Failure{"template " + shownTemplate + " is not a Windows executable: " + LastError()};
    for (Stamp& stamp : stamps) {
      stamp.languages = LanguagesOf(image.Get(), stamp.type, stamp.id);
      if (stamp.languages.empty()) stamp.languages.push_back(TemplateLanguage(image.Get()));
    }
  }

  // Windows refuses to replace a read-only file, Wine does not: refuse it
  // here on both.
  const DWORD outputAttributes = GetFileAttributesW(outputPath.c_str());
  if (outputAttributes != INVALID_FILE_ATTRIBUTES && (outputAttributes & FILE_ATTRIBUTE_READONLY))
    throw Failure{"cannot write " + shownOutput + ": the file is read-only"};

  TemporaryFile copy(FolderOf(outputPath), shownOutput);
  if (!CopyFileW(templatePath.c_str(), copy.Path().c_str(), FALSE))
    throw Failure{"cannot write " + shownOutput + ": " + LastError()};
  // A copy of a read-only template is read-only too.
  SetFileAttributesW(copy.Path().c_str(), FILE_ATTRIBUTE_NORMAL);

  const HANDLE update = BeginUpdateResourceW(copy.Path().c_str(), FALSE);
  if (!update) throw Failure{"cannot update the resources of a copy: " + LastError()};
  for (const Stamp& stamp : stamps) {
    for (WORD language : stamp.languages) {
      if (!UpdateResourceW(update, stamp.type, MAKEINTRESOURCEW(stamp.id), language,
                           const_cast<char*>(stamp.value.data()),
                           static_cast<DWORD>(stamp.value.size()))) {
        const std::string error = LastError();
        EndUpdateResourceW(update, TRUE);  // discard
        throw Failure{"cannot update the resources of a copy: " + error};
      }
    }
  }
  if (!EndUpdateResourceW(update, FALSE))
    throw Failure{"cannot update the resources of a copy: " + LastError()};

  {
    const ModuleHandle stamped = LoadImageData(copy.Path());
    if (!stamped || !ReadsBack(stamped.Get(), stamps))
      throw Failure{"the stamped copy does not read back as written"};
  }
  if (!copy.MoveTo(outputPath)) throw Failure{"cannot write " + shownOutput + ": " + LastError()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    const Options options = ParseOptions(argc, argv);
    if (options.help) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!options.printPublisherOf.empty()) {
      std::printf("%s\n", PrintedPublisher(options.printPublisherOf).c_str());
      return 0;
    }
    StampCopy(options);
    return 0;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "halvora-stamp: %s (see --help)\n", error.message.c_str());
    return 2;
  } catch (const Failure& failure) {
    std::fprintf(stderr, "halvora-stamp: %s\n", failure.message.c_str());
    return 1;
  }
}
