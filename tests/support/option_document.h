// option_document.h — relaystore's option description document, rebuilt
// byte for byte from its listed content (categories, options, captions,
// descriptions, values and defaults) and its layout rules: one tab per
// nesting level, LF line ends, no final line end, keys in fixed order, each
// value object on one line. Tests compare the shipped file and the DLL's
// resource with it, so any changed default or same-length typo shows.
#pragma once

#include <string>
#include <vector>

namespace option_document {

struct Value {
  const char *Name;
  const char *Label;
  bool IsDefault;
};
struct Option {
  const char *Name;
  const char *Caption;
  const char *Description;  // as written in the JSON text ("\\n\\n" is the escape)
  std::vector<Value> Values;
};
struct Category {
  const char *Title;
  std::vector<Option> Options;
};

// Size of the document in bytes.
constexpr size_t kSize = 4562;

inline std::vector<Category> Content() {
  return {
      {"ゲーム全般",
       {
           {"scanim", "背景効果",
            "背景のアニメーションを有効にするかどうか設定です。\\n\\nゲーム中のシステム設定画面からも変更できます。",
            {{"yes", "する", true}, {"no", "しない", false}}},
           {"fontedge", "フォントのフチ取り",
            "メッセージフォントのフチ取りを有効にするかどうかの設定です。\\n\\n文字表示メニューからも変更できます。",
            {{"yes", "する", true}, {"no", "しない", false}}},
           {"glyphanim", "クリック待ちアイコンアニメ",
            "クリック待ちのアイコンのアニメーションを有効・無効にする設定です\\n\\nゲーム中のメニューからも変更できます。",
            {{"yes", "アニメする", true}, {"no", "アニメしない", false}}},
           {"backlogvoicecut", "バックログ切替で音声停止",
            "バックログ画面に切り替える時とバックログ画面からゲームに戻る時に音声を停止するかどうかの設定です\\n\\n"
            "ゲーム中のメニューからは変更できません。",
            {{"yes", "する", true}, {"no", "しない", false}}},
       }},
      {"ムービー",
       {
           {"vqfilesel", "ビデオ画質",
            "ビデオの画質を選択します。\\n\\n「自動」を選択すると、CPUのクロックで自動判定します。\\n\\n"
            "「高画質」はHDサイズのWMVファイルを再生します。\\n\\n「低画質」はSDサイズのMPEGファイルを再生します。\\n\\n"
            "自動判定は厳密ではないので、環境によっては高画質が選択されて正しく再生できない場合があります。",
            {{"auto", "自動", true}, {"wmv", "WMVで再生", false}, {"mpeg", "MPEGで再生", false}}},
       }},
      {"拡張ウィンドウ制御",
       {
           {"stayontop", "常に手前表示",
            "ゲームのウィンドウを他のウィンドウより常に手前に表示するかの設定です。\\n\\n画面メニューからも変更できます。",
            {{"yes", "する", false}, {"no", "しない", true}}},
           {"stopdeactive", "非アクティブ時にゲームを停止",
            "ゲームのウィンドウが非アクティブ（他のウィンドウを操作した場合など）にゲームを停止するかどうか設定です。"
            "\\n\\n画面メニューからも変更できます。",
            {{"yes", "する", false}, {"no", "しない", true}}},
           {"sqscr", "４：３画面モード",
            "メッセージ窓を画面外に表示して４：３の画面比で表示するモードの設定です。\\n\\n"
            "「常に有効」はウィンドウ表示とフルスクリーン表示とも４：３で表示します。\\n\\n"
            "「全画面時に自動判定」はフルスクリーン表示時にそのモニタのピクセル比に合うモードを自動判定して表示します。",
            {{"off", "無効", true}, {"all", "常に有効", false}, {"fsonly", "全画面時に自動判定", false}}},
           {"sqnomask", "４：３画面マスク",
            "４：３画面モードのマスクの表示を制御します\\n\\nこの設定画面から値は変更できません。",
            {{"mask", "マスクする", true}}},
       }},
  };
}

// The document's bytes (UTF-8, no byte-order mark).
inline std::string Bytes() {
  std::string out;
  auto line = [&out](int depth, const std::string &text) {
    if (!out.empty()) out += '\n';
    out.append(static_cast<size_t>(depth), '\t');
    out += text;
  };
  auto quoted = [](const char *text) { return std::string("\"") + text + "\""; };
  const std::vector<Category> categories = Content();
  line(0, "[");
  for (size_t c = 0; c < categories.size(); ++c) {
    const Category &category = categories[c];
    line(1, "{");
    line(2, "\"category\":" + quoted(category.Title) + ",");
    line(2, "\"options\":[");
    for (size_t o = 0; o < category.Options.size(); ++o) {
      const Option &option = category.Options[o];
      line(3, "{");
      line(4, "\"caption\":" + quoted(option.Caption) + ",");
      line(4, "\"description\":" + quoted(option.Description) + ",");
      line(4, "\"name\":" + quoted(option.Name) + ",");
      line(4, "\"type\":\"select\",");
      line(4, "\"user\":true,");
      line(4, "\"values\":[");
      for (size_t v = 0; v < option.Values.size(); ++v) {
        const Value &value = option.Values[v];
        std::string text = "{ \"value\":" + quoted(value.Name) + ", \"desc\":" + quoted(value.Label);
        if (value.IsDefault) text += ", \"default\":true";
        text += " }";
        if (v + 1 < option.Values.size()) text += ",";
        line(5, text);
      }
      line(4, "]");
      line(3, o + 1 < category.Options.size() ? "}," : "}");
    }
    line(2, "]");
    line(1, c + 1 < categories.size() ? "}," : "}");
  }
  line(0, "]");
  return out;
}

}  // namespace option_document
