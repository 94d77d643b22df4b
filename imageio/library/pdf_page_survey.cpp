#include "imageio/library/pdf_page_survey.h"

#include <algorithm>
#include <cmath>

namespace vp::pdf {
namespace {

// A device that only looks: the one image painted, and whether anything else is.
struct PageSurvey {
  fz_device base;
  fz_image* image;  // kept
  fz_matrix ctm;
  int paints;
};

void survey_paint(PageSurvey* survey) { ++survey->paints; }
void survey_fill_path(fz_context*, fz_device* dev, const fz_path*, int, fz_matrix, fz_colorspace*, const float*, float,
                      fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_stroke_path(fz_context*, fz_device* dev, const fz_path*, const fz_stroke_state*, fz_matrix, fz_colorspace*,
                        const float*, float, fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_fill_text(fz_context*, fz_device* dev, const fz_text*, fz_matrix, fz_colorspace*, const float*, float,
                      fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_stroke_text(fz_context*, fz_device* dev, const fz_text*, const fz_stroke_state*, fz_matrix, fz_colorspace*,
                        const float*, float, fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_fill_shade(fz_context*, fz_device* dev, fz_shade*, fz_matrix, float, fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_begin_mask(fz_context*, fz_device* dev, fz_rect, int, fz_colorspace*, const float*, fz_color_params) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
void survey_begin_group(fz_context*, fz_device* dev, fz_rect, fz_colorspace*, int, int, int, float) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
}
int survey_begin_tile(fz_context*, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
  survey_paint(reinterpret_cast<PageSurvey*>(dev));
  return 0;
}
void survey_image(fz_context* ctx, PageSurvey* survey, fz_image* image, fz_matrix ctm, float alpha) {
  survey_paint(survey);
  // Only an opaque image without a mask of its own stands for the scan.
  if (survey->paints != 1 || alpha != 1 || image->mask != nullptr || image->use_colorkey) return;
  survey->image = fz_keep_image(ctx, image);
  survey->ctm = ctm;
}
void survey_fill_image(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha, fz_color_params) {
  survey_image(ctx, reinterpret_cast<PageSurvey*>(dev), image, ctm, alpha);
}
void survey_fill_image_mask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace*,
                            const float*, float alpha, fz_color_params) {
  survey_image(ctx, reinterpret_cast<PageSurvey*>(dev), image, ctm, alpha);
}

// How the image's unit square is placed: the orientation (numbered as EXIF and
// TIFF number them) that stands its rows upright on the page, when it covers the
// page to within a point turned by a multiple of a quarter, mirrored or not; 0
// for any other placement. The square's (0, 0) is the image's first pixel, u
// runs along its rows and v down its columns; the page's y grows downwards.
int placement_orientation(fz_matrix ctm, fz_rect page) {
  constexpr float kSlack = 1.0f;
  const float size =
      std::max(std::max(std::fabs(ctm.a), std::fabs(ctm.b)), std::max(std::fabs(ctm.c), std::fabs(ctm.d)));
  const auto none = [size](float v) { return std::fabs(v) <= size * 1e-5f; };
  const fz_rect placed = fz_transform_rect(fz_unit_rect, ctm);
  if (!(size > 0) || std::fabs(placed.x0 - page.x0) > kSlack || std::fabs(placed.y0 - page.y0) > kSlack ||
      std::fabs(placed.x1 - page.x1) > kSlack || std::fabs(placed.y1 - page.y1) > kSlack) {
    return 0;
  }
  if (none(ctm.b) && none(ctm.c)) {  // rows across the page
    if (ctm.a > 0) return ctm.d > 0 ? 1 : 4;
    return ctm.d > 0 ? 2 : 3;
  }
  if (none(ctm.a) && none(ctm.d)) {  // rows down the page: the image lies on its side
    if (ctm.c > 0) return ctm.b > 0 ? 5 : 8;
    return ctm.b > 0 ? 6 : 7;
  }
  return 0;
}

// The calls into MuPDF that may throw hold nothing with a destructor between
// their fz_try and fz_catch (setjmp and longjmp); what they set inside is volatile.
PageSurvey* new_survey(fz_context* ctx) {
  PageSurvey* volatile looker = nullptr;
  fz_try(ctx) { looker = reinterpret_cast<PageSurvey*>(fz_new_device_of_size(ctx, sizeof(PageSurvey))); }
  fz_catch(ctx) { return nullptr; }
  looker->base.fill_path = survey_fill_path;
  looker->base.stroke_path = survey_stroke_path;
  looker->base.fill_text = survey_fill_text;
  looker->base.stroke_text = survey_stroke_text;
  looker->base.fill_shade = survey_fill_shade;
  looker->base.fill_image = survey_fill_image;
  looker->base.fill_image_mask = survey_fill_image_mask;
  looker->base.begin_mask = survey_begin_mask;
  looker->base.begin_group = survey_begin_group;
  looker->base.begin_tile = survey_begin_tile;
  return looker;
}

bool run_survey(fz_context* ctx, fz_display_list* list, PageSurvey* looker) {
  fz_try(ctx) {
    fz_run_display_list(ctx, list, &looker->base, fz_identity, fz_infinite_rect, nullptr);
    fz_close_device(ctx, &looker->base);
  }
  fz_catch(ctx) { return false; }
  return true;
}

}  // namespace

fz_image* single_page_image(fz_context* ctx, fz_display_list* list, fz_rect bounds, int& orientation) {
  orientation = 1;
  PageSurvey* looker = new_survey(ctx);
  if (looker == nullptr) return nullptr;
  fz_image* image = nullptr;
  if (run_survey(ctx, list, looker) && looker->paints == 1 && looker->image != nullptr) {
    const int placed = placement_orientation(looker->ctm, bounds);
    if (placed != 0) {
      image = fz_keep_image(ctx, looker->image);
      orientation = placed;
    }
  }
  fz_drop_image(ctx, looker->image);
  fz_drop_device(ctx, &looker->base);
  return image;
}

}  // namespace vp::pdf
