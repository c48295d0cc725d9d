#pragma once

#include <string>

namespace tarvelportal::testing {

// A portal page in the style of the operator's site.
inline std::string portalPage(const std::string& title, const std::string& body = "") {
  return R"(<!doctype html><html lang="de"><head><meta charset="utf-8"><title>)" + title + R"(</title>
<style>
  body { margin: 0; font-family: Cantarell, "DejaVu Sans", sans-serif; background: #f6f5f4; color: #241f31; }
  header { background: #1c71d8; color: white; padding: 16px 28px; font-size: 20px; font-weight: bold; }
  main { padding: 28px; }
  .card { background: white; border-radius: 12px; padding: 20px 24px; max-width: 560px; margin-bottom: 18px;
          box-shadow: 0 1px 3px rgba(0,0,0,.12); }
  .card h2 { margin: 0 0 8px; font-size: 17px; }
  .card p { margin: 0; color: #5e5c64; }
</style></head>
<body><header>Tarvel-Portal</header><main>
<div class="card"><h2>)" + title + R"(</h2><p>Stream „Bildschirm (Handyspiel)“ im Bereich „Live“</p></div>
<div class="card"><h2>Nächste Termine</h2><p>Training Dienstag 18:00 · Heimspiel Samstag 15:30</p></div>
)" + body + "</main></body></html>";
}

}  // namespace tarvelportal::testing
