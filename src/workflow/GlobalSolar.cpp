// What a solar physicist reads off the image: the colour table of the view,
// the helioprojective readout and the 16-bit FITS export of the result.
#include "FitsWriter.h"
#include "Global.h"
#include "IniFile.h"

namespace obra {

namespace {

constexpr const char* GreyTable = "Grey";
constexpr const char* ChannelTable = "Channel";

std::string KernelText(const Parameters& P) {
  return "Kernel KerSize " + std::to_string(P.KerSize) + ", NRSigma " + std::to_string(P.NRSigma) +
         ", GlobalB " + FormatFixed(P.GlobalB, 4) + ", LocalB " + FormatFixed(P.LocalB, 4) +
         ", GlobalW " + FormatFixed(P.GlobalW, 4) + ", LocalW " + FormatFixed(P.LocalW, 4);
}

std::string KernelSigmasText(const Parameters& P) {
  const float Sigmas[] = {P.KerS_480, P.KerS_320, P.KerS_220, P.KerS_160, P.KerS_110, P.KerS_80,
                          P.KerS_56,  P.KerS_40,  P.KerS_28,  P.KerS_20,  P.KerS_14,  P.KerS_10};
  std::string T = "Kernel weights KerS_480..KerS_10";
  for (float S : Sigmas) T += " " + FormatFixed(S, 4);
  return T;
}

}  // namespace

std::vector<std::string> ColourTableChoices() {
  std::vector<std::string> Choices = {GreyTable, ChannelTable};
  for (const NamedColourTable& T : ColourTables()) Choices.push_back(T.Name);
  return Choices;
}

bool ComboBoxColourTableChange(SharedState& S, const std::string& Name) {
  std::string Chosen;
  const std::string Upper = UpperCase(Name);
  if (Upper == "GREY" || Upper == "GRAY")
    Chosen = GreyTable;
  else if (Upper == "CHANNEL")
    Chosen = ChannelTable;
  else if (const NamedColourTable* T = FindColourTable(Name))
    Chosen = T->Name;
  else
    return false;
  S.ColourTableName = Chosen;
  RenderView(S);
  return true;
}

const ColourTable* ActiveColourTable(const SharedState& S) {
  if (S.ColourTableName == GreyTable) return nullptr;
  const NamedColourTable* T = S.ColourTableName == ChannelTable
                                  ? ChannelColourTable(S.Image)
                                  : FindColourTable(S.ColourTableName);
  return T ? T->Table : nullptr;
}

std::string SkyText(const SharedState& S, int32_t X, int32_t Y) {
  if (!S.SkyWcs) return {};
  const SkyPosition P = ReadoutToSky(*S.SkyWcs, S.Image.Height, X, Y);
  std::string T = "Tx " + FormatFixed(P.Tx, 2) + "\"  Ty " + FormatFixed(P.Ty, 2) + "\"";
  if (P.R) T += "  R " + FormatFixed(*P.R, 3);
  return T;
}

std::vector<std::string> ExportHistory(const SharedState& S) {
  const bool Activated = !S.SpeedButtonEnableEQ.Enabled;
  const int32_t Off = S.Image.ValueOffset;
  std::vector<std::string> H = {
      std::string(ProgramTitle) + ": 16-bit result of " + S.ImageName,
      Activated ? "OBRA equalization blended with the gamma image"
                : "Gamma image without OBRA equalization",
      KernelText(S.Config()),
      KernelSigmasText(S.Config()),
      "Input levels black " + std::to_string(S.InputBlack - Off) + " white " +
          std::to_string(S.InputWhite - Off),
      "Output levels black " + std::to_string(S.OutputBlack) + " white " +
          std::to_string(S.OutputWhite) + " (display only, not applied here)",
      "Gamma " + FormatFixed(S.GammaSetting * 0.1, 1) + ", OBRA weight " +
          (Activated ? FormatFixed(S.ObraWeight * 0.01, 2) : std::string("not active"))};
  if (Activated && (S.ActivatedWidth != S.Image.Width || S.ActivatedHeight != S.Image.Height))
    H.push_back("OBRA region left " + std::to_string(S.ActivatedLeft) + " top " +
                std::to_string(S.ActivatedTop) + " width " + std::to_string(S.ActivatedWidth) +
                " height " + std::to_string(S.ActivatedHeight));
  return H;
}

bool ExportFits(SharedState& S, const std::string& Path) {
  if (!S.Image.Valid || S.ResultImage.empty()) return false;
  FitsImage16 Out;
  Out.Width = S.Image.Width;
  Out.Height = S.Image.Height;
  Out.Samples = S.ResultImage;
  Out.Cards = KeptSolarCards(S.Image.HeaderCards);
  for (const std::string& Text : ExportHistory(S))
    for (std::string& Card : HistoryCards(Text)) Out.Cards.push_back(std::move(Card));
  const WriteOutcome R = WriteFits16(Path, Out);
  if (!R.Success && S.ShowMessage) S.ShowMessage(R.ErrorText);
  return R.Success;
}

}  // namespace obra
