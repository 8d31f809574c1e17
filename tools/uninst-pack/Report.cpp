// uninst-pack inspect and plan: a file's payload found and read, then shown as a person reads it
// or as JSON, and what it makes the remover do.
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "Archive.h"
#include "Commands.h"
#include "File.h"
#include "Manifest.h"
#include "PeImage.h"
#include "Plan.h"
#include "Records.h"
#include "Trailer.h"

namespace pack {

// What a security directory that reaches past the end of a file of `length` bytes is.
std::string OutsideTheFile(const payload::CertificateTable& table, std::uint64_t length) {
  std::ostringstream msg;
  msg << "the security directory points outside the file (certificate table at offset " << table.offset << ", "
      << table.size << " bytes; the file has " << length << " bytes)";
  return msg.str();
}

namespace {

// A signed file's payload must be what the signature covers: the certificate table ends the file
// right behind the trailer. Anything else is refused with where the table is.
void RequireSignatureCoversPayload(const std::string& path, const payload::PayloadLocation& found,
                                   std::uint64_t length) {
  if (found.signature == payload::Signature::None || found.signature == payload::Signature::CoversPayload) return;
  const payload::CertificateTable& table = *found.certificateTable;
  std::ostringstream msg;
  msg << path << ": ";
  if (table.End() > length) {
    msg << OutsideTheFile(table, length);
  } else {
    msg << "the certificate table at offset " << table.offset << " (" << table.size << " bytes) ";
    if (found.signature == payload::Signature::ImageOnly)
      msg << "lies in front of the payload (records at offset " << found.recordsOffset
          << "): the payload was appended after signing, so the signature does not cover it and the launcher "
             "refuses the file. Pack the launcher as built, then sign the packed file";
    else if (table.End() == length)
      msg << "leaves no room for a payload in front of it";
    else
      msg << "overlaps the payload (records or trailer) at the end of the file";
  }
  throw InputError(Code::SignatureMisplaced, msg.str());
}

// Opens `path` and finds its payload, or says why it has none.
payload::PayloadLocation OpenPayload(const std::string& path, fw::File& file) {
  if (!file.Open(path, fw::File::Mode::Read))
    throw InputError(Code::PackedUnreadable, "cannot open " + path + ": " + std::strerror(errno));
  const auto trailer = payload::ReadTrailer(file);
  if (!trailer) throw InputError(Code::NoPayload, path + " carries no payload: it is too short to hold a payload trailer");
  RequireSignatureCoversPayload(path, *trailer, file.GetLength());
  if (!trailer->IsValid()) {
    std::ostringstream msg;
    msg << path << " carries no payload: no valid payload trailer at offset " << trailer->trailerOffset;
    if (trailer->certificateTable)
      msg << ", in front of the certificate table at offset " << trailer->certificateTable->offset;
    msg << " (a launcher as built has none: uninst-pack build appends one)";
    throw InputError(Code::NoPayload, msg.str());
  }
  return *trailer;
}

void ReadPayload(const std::string& path, fw::File& file, const payload::PayloadLocation& trailer,
                 payload::RecordVisitor& visitor) {
  try {
    payload::ReadRecords(file, trailer, visitor);
  } catch (const fw::ArchiveError& e) {
    std::ostringstream msg;
    msg << path << ": damaged record archive at offset " << e.offset() << ": " << e.what();
    throw InputError(Code::PayloadDamaged, msg.str());
  }
}

// Converts each record to UTF-8 as it is read, naming the field that is not GBK.
class JsonBuilder : public payload::RecordVisitor {
 public:
  void OnHeader(const payload::RecordHeader& h) override {
    doc["programFolderName"] = pack::GbkToUtf8(h.programFolderName, "programFolderName");
    doc["installDir"] = pack::GbkToUtf8(h.installDir, "installDir");
    doc["finalFile"] = pack::GbkToUtf8(h.finalFile, "finalFile");
    doc["groups"] = Json::array();
  }
  void OnGroupCount(std::int32_t count) override { groupCount = count; }
  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    const std::string where = "groups[" + std::to_string(doc["groups"].size()) + "]";
    doc["groups"].push_back({{"folder", pack::GbkToUtf8(folderPath, where + ".folder")}, {"files", Json::array()}});
  }
  void OnEntry(const std::string& filePath) override {
    Json& group = doc["groups"].back();
    const std::string where =
        "groups[" + std::to_string(doc["groups"].size() - 1) + "].files[" + std::to_string(group["files"].size()) + "]";
    group["files"].push_back(pack::GbkToUtf8(filePath, where));
  }

  Json doc = Json::object();
  std::int32_t groupCount = 0;
};

void PrintReadable(const Json& doc, std::int32_t groupCount) {
  const Json& t = doc["trailer"];
  std::cout << "trailer: blockSize=" << t["blockSize"] << " recordsOffset=" << t["recordsOffset"]
            << " endOffset=" << t["endOffset"] << " fileTotal=" << t["fileTotal"] << " (valid)\n";
  std::cout << "image: " << doc["image"].get<std::string>() << '\n';
  if (doc.contains("signature")) {
    const Json& sig = doc["signature"];
    std::cout << "signed: certificate table at offset " << sig["certificateTableOffset"] << " ("
              << sig["certificateTableSize"] << " bytes), " << sig["padding"]
              << " zero bytes behind the trailer; the signature itself is not verified here\n";
  }
  // The payload's texts as any tool wrote them: control characters escaped.
  const auto text = [](const Json& value) { return Printable(value.get_ref<const std::string&>()); };
  std::cout << "programFolderName: " << text(doc["programFolderName"]) << '\n'
            << "installDir: " << text(doc["installDir"]) << '\n'
            << "finalFile: " << text(doc["finalFile"]) << '\n'
            << "groups: " << groupCount << '\n';
  std::size_t index = 0;
  for (const Json& group : doc["groups"]) {
    std::cout << "  [" << index++ << "] " << text(group["folder"]) << " (" << group["files"].size() << " files)\n";
    for (const Json& file : group["files"]) std::cout << "      " << text(file) << '\n';
  }
}

// Which program the payload is appended to: "PE32 (x86)" or "PE32+ (x64)", as its headers say.
std::string ImageKind(fw::File& file, std::uint32_t imageSize) {
  std::string image(imageSize, '\0');
  file.Seek(0, fw::File::SeekFrom::Begin);
  image.resize(file.Read(image.data(), image.size()));
  const payload::PeRead read = payload::ReadPeHeaders(image);
  if (!read.headers) return "not a PE image (" + read.problem + ")";
  const std::string kind = read.headers->magic == 0x20B   ? "PE32+ (x64)"
                           : read.headers->magic == 0x10B ? "PE32 (x86)"
                                                          : "a PE image of another kind";
  // The launcher carries the remover it stages; a file packed with --bare-remover is the remover.
  if (!payload::FindPeResource(*read.headers, image, u"UNINSTALLER", 131))
    return kind + ", carrying no remover: the remover itself, packed with --bare-remover (not for shipping)";
  return kind;
}

}  // namespace

int Inspect(const std::string& path, bool asJson) {
  fw::File file;
  const payload::PayloadLocation trailer = OpenPayload(path, file);
  JsonBuilder builder;
  ReadPayload(path, file, trailer, builder);
  builder.doc["trailer"] = {{"blockSize", trailer.blockSize},
                            {"recordsOffset", trailer.recordsOffset},
                            {"endOffset", trailer.endOffset},
                            {"fileTotal", trailer.fileTotal}};
  builder.doc["image"] = ImageKind(file, trailer.recordsOffset);
  if (const auto& table = trailer.certificateTable)
    builder.doc["signature"] = {{"certificateTableOffset", table->offset},
                                {"certificateTableSize", table->size},
                                {"padding", table->offset - trailer.trailerOffset - payload::PayloadTrailer::kSize}};
  if (asJson)
    std::cout << builder.doc.dump(2) << '\n';
  else
    PrintReadable(builder.doc, builder.groupCount);
  return 0;
}

int Plan(const std::string& path, const std::string& resourceIni, const std::string& answer, bool asJson,
         Reporter& reporter) {
  fw::File file;
  const payload::PayloadLocation trailer = OpenPayload(path, file);
  payload::RecordCollector records;
  ReadPayload(path, file, trailer, records);
  const bool yes = answer == "yes";
  Diagnostics diagnostics;
  const auto steps = pack::MakePlan(records.records,
                                    resourceIni.empty() ? std::nullopt : std::optional<std::string>(resourceIni), yes,
                                    diagnostics);
  reporter.Say(diagnostics);
  if (!diagnostics.All().empty() || diagnostics.TurnedOff() > 0) reporter.Count(diagnostics);
  if (asJson)
    std::cout << pack::PlanJson(steps, yes).dump(2) << '\n';
  else
    std::cout << pack::PlanText(steps, yes);
  return 0;
}

}  // namespace pack
