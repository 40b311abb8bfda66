// The per-class means and deviations of the compensated channel values, as the analysis report
// shows them.
#include "reports/ChannelMeans.h"

#include <vector>

#include "Errors.h"
#include "FloatStores.h"
#include "NumberFormat.h"
#include "TextUtils.h"
#include "dataset/FCSData.h"
#include "protocol/Protocol.h"

namespace qv {

namespace {

// Sum, count and squared deviations of one class on one channel.
struct TAccumulator {
  Extended Sum = 0;
  Extended Squares = 0;
  int64_t Count = 0;
};

}  // namespace

void TFCSData::ChannelMeansReport(const TProtocol& Protocol, const TStringArray& ClassNames, int32_t Column,
                                  std::string& Text) const {
  qv::ChannelMeansReport(Events, Protocol, ClassNames, Column, Text);
}

void ChannelMeansReport(const TFCSLineArray& Events, const TProtocol& Protocol, const TStringArray& ClassNames,
                        int32_t Column, std::string& Text) {
  CheckClassColumn(Column);
  const int32_t C = static_cast<int32_t>(ClassNames.size());
  const int32_t N = Events.empty() ? 0 : static_cast<int32_t>(Events[0].CompValues().size());
  std::vector<std::vector<TAccumulator>> Acc(static_cast<size_t>(C), std::vector<TAccumulator>(static_cast<size_t>(N)));
  const auto ClassOf = [&](const TFCSLine& E) {
    const int32_t K = E.Classes()[static_cast<size_t>(Column)];
    if (K < 0 || K >= C || static_cast<int32_t>(E.CompValues().size()) < N) throw RangeCheckError();
    return K;
  };
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    const int32_t K = ClassOf(E);
    const auto Comp = E.CompValues();
    for (int32_t c = 0; c < N; ++c) {
      Acc[K][c].Sum += Comp[static_cast<size_t>(c)];
      ++Acc[K][c].Count;
    }
  }
  std::vector<std::vector<Extended>> Means(static_cast<size_t>(C), std::vector<Extended>(static_cast<size_t>(N), 0));
  for (int32_t k = 0; k < C; ++k)
    for (int32_t c = 0; c < N; ++c)
      if (Acc[k][c].Count > 0) Means[k][c] = Acc[k][c].Sum / Acc[k][c].Count;
  for (size_t i = Events.size(); i-- > 0;) {
    const TFCSLine E = Events[i];
    const int32_t K = ClassOf(E);
    const auto Comp = E.CompValues();
    for (int32_t c = 0; c < N; ++c) {
      const Extended D = Comp[static_cast<size_t>(c)] - Means[K][c];
      Acc[K][c].Squares += D * D;
    }
  }

  TStringArray Lines{"Mean Channel Values", ""};
  std::string Header = "Class\t";
  for (int32_t c = 0; c < Protocol.ChannelCount(); ++c) Header += Protocol.GetChannel(c)->ChannelName + "\t";
  Lines.push_back(Header);
  for (int32_t k = C - 1; k >= 0; --k) {
    std::string Line = ClassNames[k] + "\t";
    for (int32_t c = 0; c < N; ++c) Line += FormatFloat("####0.0", Means[k][c]) + "\t";
    Lines.push_back(Line);
  }
  Lines.insert(Lines.end(), {"", "Mean Channel Deviation", ""});
  for (int32_t k = C - 1; k >= 0; --k) {
    std::string Line = ClassNames[k] + "\t";
    for (int32_t c = 0; c < N; ++c) {
      const TAccumulator& A = Acc[k][c];
      Line += FormatFloat("####0.0", A.Count > 0 ? fp::Sqrt(A.Squares / A.Count) : Extended(0)) + "\t";
    }
    Lines.push_back(Line);
  }
  Text = JoinLines(Lines, "\r\n");
}

}  // namespace qv
