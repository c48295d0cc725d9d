#include "Platform/CoreText/CTFramesetter.hpp"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// A layout needs a context only for font metrics; one per thread.
PangoContext* measuringContext() {
  thread_local struct Holder {
    PangoFontMap* fontMap = pango_cairo_font_map_new();
    PangoContext* context = pango_font_map_create_context(fontMap);
    ~Holder() {
      g_object_unref(context);
      g_object_unref(fontMap);
    }
  } holder;
  return holder.context;
}

int toPango(CGFloat value) {
  return static_cast<int>(std::clamp(std::isfinite(value) ? value : 0.0, 0.0, 1e6) * PANGO_SCALE);
}

}  // namespace

std::shared_ptr<CTFramesetter> CTFramesetter::make(const std::string& text, const CTAttributes& attributes) {
  PangoLayout* layout = pango_layout_new(measuringContext());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, attributes.fontFamily.c_str());
  pango_font_description_set_weight(font, attributes.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(font, toPango(attributes.fontSize));
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  return std::shared_ptr<CTFramesetter>(new CTFramesetter(layout, attributes));
}

CTFramesetter::CTFramesetter(PangoLayout* layout, CTAttributes attributes)
    : layout_(layout), attributes_(std::move(attributes)) {}

CTFramesetter::~CTFramesetter() { g_object_unref(layout_); }

CGSize CTFramesetter::suggestFrameSize(const CGSize& constraints) {
  pango_layout_set_width(layout_, constraints.width > 0 ? toPango(constraints.width) : -1);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout_, &width, &height);
  const auto limit = [](CGFloat value, CGFloat bound) { return bound > 0 ? std::min(value, bound) : value; };
  return {limit(width, constraints.width), limit(height, constraints.height)};
}

void CTFramesetter::draw(CGContext& context, const CGRect& rect) {
  cairo_t* cairo = context.cairoContext();
  cairo_save(cairo);
  cairo_rectangle(cairo, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_clip(cairo);
  cairo_move_to(cairo, rect.origin.x, rect.origin.y);
  const auto& c = attributes_.foregroundColor.components;
  if (c.size() >= 4) {
    cairo_set_source_rgba(cairo, c[0], c[1], c[2], c[3]);
  } else if (c.size() == 2) {
    cairo_set_source_rgba(cairo, c[0], c[0], c[0], c[1]);
  }
  pango_layout_set_width(layout_, toPango(rect.size.width));
  pango_cairo_update_layout(cairo, layout_);
  pango_cairo_show_layout(cairo, layout_);
  pango_layout_context_changed(layout_);
  cairo_restore(cairo);
}

}  // namespace platform
