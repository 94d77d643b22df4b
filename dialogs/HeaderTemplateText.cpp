#include "dialogs/HeaderTemplateText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vp::gui {
namespace {

constexpr const char* kShiftJis = "Shift_JIS";

std::string joinedBytes(const DxfHeaderTemplate& header) {
  std::string bytes;
  for (const std::string& line : header.lines()) {
    bytes += line;
    bytes += '\n';
  }
  return bytes;
}

bool decodes(QStringDecoder& decoder, const std::string& bytes) {
  if (!decoder.isValid()) return false;
  const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decoder.hasError();
}

}  // namespace

HeaderEncoding detectHeaderEncoding(const DxfHeaderTemplate& header) {
  const std::string bytes = joinedBytes(header);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  if (decodes(utf8, bytes)) return HeaderEncoding::Utf8;
  QStringDecoder shiftJis(kShiftJis, QStringDecoder::Flag::Stateless);
  if (decodes(shiftJis, bytes)) return HeaderEncoding::ShiftJis;
  return HeaderEncoding::Latin1;
}

QString headerToText(const DxfHeaderTemplate& header, HeaderEncoding encoding) {
  const std::string bytes = joinedBytes(header);
  const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
  switch (encoding) {
    case HeaderEncoding::Utf8:
      return QString::fromUtf8(view);
    case HeaderEncoding::ShiftJis: {
      QStringDecoder decoder(kShiftJis);
      if (decoder.isValid()) return decoder(view);
      break;
    }
    case HeaderEncoding::Latin1:
      break;
  }
  return QString::fromLatin1(view);
}

DxfHeaderTemplate headerFromText(const QString& text, HeaderEncoding encoding, HeaderEncoding* used) {
  QByteArray bytes;
  if (used != nullptr) *used = encoding;
  if (encoding != HeaderEncoding::Utf8) {
    QStringEncoder encoder(encoding == HeaderEncoding::ShiftJis ? kShiftJis : "ISO-8859-1");
    if (encoder.isValid()) {
      bytes = encoder(text);
      if (encoder.hasError())
        bytes.clear();
      else
        return DxfHeaderTemplate::from_bytes(std::string_view(bytes.constData(), bytes.size()));
    }
  }
  if (used != nullptr) *used = HeaderEncoding::Utf8;
  bytes = text.toUtf8();
  return DxfHeaderTemplate::from_bytes(std::string_view(bytes.constData(), bytes.size()));
}

}  // namespace vp::gui
