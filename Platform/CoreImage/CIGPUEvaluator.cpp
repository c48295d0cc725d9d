#include "Platform/CoreImage/CIGPUEvaluator.hpp"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "Platform/CoreImage/Overloaded.hpp"

namespace platform {

namespace {

constexpr const char* vertexShader = R"(#version 300 es
in vec2 position;
void main() { gl_Position = vec4(position, 0.0, 1.0); }
)";

// Each fragment samples its layer at the pixel centre, in recipe coordinates.
constexpr const char* fragmentShader = R"(#version 300 es
precision highp float;
precision highp sampler3D;
uniform vec2 origin;          // recipe coordinates of the framebuffer's bottom-left
uniform int kind;             // 0 colour, 1 source
uniform vec4 color;           // premultiplied
uniform sampler2D source;
uniform vec2 sourceSize;
uniform mat3 toSource;        // recipe -> source coordinates
uniform vec4 clip;            // minX, minY, maxX, maxY
uniform int hasMask;
uniform vec4 maskRect;        // x, y, width, height
uniform float maskRadius;
uniform int hasKey;
uniform highp sampler3D keyTable;
uniform int keyGrid;
out vec4 fragColor;

float keyAt(ivec3 p) { return texelFetch(keyTable, p, 0).r; }

float key(vec3 rgb) {
  float last = float(keyGrid - 1);
  vec3 position = clamp(rgb, 0.0, 1.0) * last;
  vec3 base = min(floor(position), vec3(last - 1.0));
  vec3 f = position - base;
  ivec3 i = ivec3(base);
  // table index: (r * n + g) * n + b, stored with b along x, g along y, r along z
  float c000 = keyAt(ivec3(i.b, i.g, i.r)), c001 = keyAt(ivec3(i.b + 1, i.g, i.r));
  float c010 = keyAt(ivec3(i.b, i.g + 1, i.r)), c011 = keyAt(ivec3(i.b + 1, i.g + 1, i.r));
  float c100 = keyAt(ivec3(i.b, i.g, i.r + 1)), c101 = keyAt(ivec3(i.b + 1, i.g, i.r + 1));
  float c110 = keyAt(ivec3(i.b, i.g + 1, i.r + 1)), c111 = keyAt(ivec3(i.b + 1, i.g + 1, i.r + 1));
  float c00 = mix(c000, c001, f.b), c01 = mix(c010, c011, f.b);
  float c10 = mix(c100, c101, f.b), c11 = mix(c110, c111, f.b);
  return mix(mix(c00, c01, f.g), mix(c10, c11, f.g), f.r);
}

void main() {
  vec2 p = origin + gl_FragCoord.xy;
  if (p.x < clip.x || p.y < clip.y || p.x >= clip.z || p.y >= clip.w) discard;
  vec4 result = color;
  if (kind == 1) {
    vec2 q = (toSource * vec3(p, 1.0)).xy;
    if (q.x < 0.0 || q.y < 0.0 || q.x >= sourceSize.x || q.y >= sourceSize.y) discard;
    result = texture(source, vec2(q.x / sourceSize.x, (sourceSize.y - q.y) / sourceSize.y));
  }
  if (hasKey == 1 && result.a > 0.0) result *= key(result.rgb / result.a);
  if (hasMask == 1) {
    vec2 half_ = maskRect.zw * 0.5;
    vec2 q = abs(p - (maskRect.xy + half_)) - (half_ - vec2(maskRadius));
    float distance = length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - maskRadius;
    result *= clamp(0.5 - distance, 0.0, 1.0);
  }
  fragColor = result;
}
)";

struct Layer {
  const CIImage* source = nullptr;  // a pixel buffer or a bitmap; none for a colour
  CIColor color{1, 1, 1, 1};
  CGAffineTransform toFinal;
  CGRect clip{{-1e15, -1e15}, {2e15, 2e15}};
  std::optional<std::pair<CGRect, CGFloat>> mask;
  const vImageMultidimensionalTable* key = nullptr;
};

// Flattens the recipe into layers, bottom first; false for a shape the GL
// path does not draw (a mask that is not a rounded rectangle).
bool flatten(const CIImage& image, Layer layer, std::vector<Layer>& layers) {
  return std::visit(
      detail::Overloaded{
          [&](const CIImage::Color& node) {
            layer.color = {node.color.red * node.color.alpha, node.color.green * node.color.alpha,
                           node.color.blue * node.color.alpha, node.color.alpha};
            layers.push_back(layer);
            return true;
          },
          [&](const CIImage::PixelBuffer&) {
            layer.source = &image;
            layers.push_back(layer);
            return true;
          },
          [&](const CIImage::Bitmap&) {
            layer.source = &image;
            layers.push_back(layer);
            return true;
          },
          [&](const CIImage::RoundedRectangle& node) {
            layer.color = {1, 1, 1, 1};
            layer.mask = std::make_pair(applying(node.extent, layer.toFinal), node.radius * std::abs(layer.toFinal.a));
            layers.push_back(layer);
            return true;
          },
          [&](const CIImage::Transform& node) {
            layer.toFinal = concatenating(node.transform, layer.toFinal);
            return flatten(*node.input, layer, layers);
          },
          [&](const CIImage::Crop& node) {
            layer.clip = intersection(layer.clip, applying(node.rect, layer.toFinal));
            if (isEmpty(layer.clip)) return true;
            return flatten(*node.input, layer, layers);
          },
          [&](const CIImage::Over& node) {
            return flatten(*node.bottom, layer, layers) && flatten(*node.top, layer, layers);
          },
          [&](const CIImage::AlphaMask& node) {
            CGAffineTransform maskTransform = layer.toFinal;
            const CIImage* mask = node.mask.get();
            while (const auto* move = std::get_if<CIImage::Transform>(&mask->node())) {
              maskTransform = concatenating(move->transform, maskTransform);
              mask = move->input.get();
            }
            const auto* rounded = std::get_if<CIImage::RoundedRectangle>(&mask->node());
            if (!rounded || layer.mask) return false;
            layer.mask = std::make_pair(applying(rounded->extent, maskTransform),
                                        rounded->radius * std::abs(maskTransform.a));
            layer.clip = intersection(layer.clip, layer.mask->first);
            return flatten(*node.input, layer, layers);
          },
          [&](const CIImage::ColorKey& node) {
            layer.key = node.table.get();
            return flatten(*node.input, layer, layers);
          },
      },
      image.node());
}

bool hasExtension(const char* name) {
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint index = 0; index < count; ++index) {
    const auto* extension = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(index)));
    if (extension && std::strcmp(extension, name) == 0) return true;
  }
  return false;
}

// Straight-alpha ARGB bytes from a premultiplied RGBA pixel of channels 0...1.
void storeStraight(float red, float green, float blue, float alpha, std::uint8_t* out) {
  alpha = std::clamp(alpha, 0.0f, 1.0f);
  out[0] = static_cast<std::uint8_t>(alpha * 255.0f + 0.5f);
  const float scale = alpha > 0 ? 255.0f / alpha : 0.0f;
  const float channels[] = {red, green, blue};
  for (int c = 0; c < 3; ++c) out[c + 1] = static_cast<std::uint8_t>(std::clamp(channels[c] * scale, 0.0f, 255.0f) + 0.5f);
}

GLuint compile(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

struct CIGPUEvaluator::State {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  GLuint program = 0;
  GLuint vertexArray = 0;
  GLuint vertexBuffer = 0;
  GLuint framebuffer = 0;
  GLuint target = 0;
  std::size_t targetWidth = 0, targetHeight = 0;
  bool isHalfFloatTarget = false;
  GLuint sourceTexture = 0;
  GLuint keyTexture = 0;
  const vImageMultidimensionalTable* keyLoaded = nullptr;
  CIPixelBufferConverter converter;
  std::vector<std::uint8_t> upload;
  std::vector<std::uint8_t> readback;
  std::vector<float> readbackFloat;
  std::vector<Layer> layers;  // of the frame being drawn; kept so a frame allocates none

  ~State() {
    if (display == EGL_NO_DISPLAY) return;
    if (context != EGL_NO_CONTEXT) {
      eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
      const GLuint textures[] = {target, sourceTexture, keyTexture};
      glDeleteTextures(3, textures);
      glDeleteFramebuffers(1, &framebuffer);
      glDeleteBuffers(1, &vertexBuffer);
      glDeleteVertexArrays(1, &vertexArray);
      glDeleteProgram(program);
      eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      eglDestroyContext(display, context);
    }
  }

  GLint uniform(const char* name) const { return glGetUniformLocation(program, name); }

  bool uploadSource(const CIImage& image, std::size_t& width, std::size_t& height) {
    if (const auto* buffer = std::get_if<CIImage::PixelBuffer>(&image.node())) {
      width = buffer->buffer->width(), height = buffer->buffer->height();
      upload.resize(width * height * 4);
      if (!converter.convert(*buffer->buffer, upload.data(), width * 4, width, height,
                             CIPixelBufferConverter::Layout::rgba)) {
        return false;
      }
    } else {
      const CGImage& bitmap = *std::get<CIImage::Bitmap>(image.node()).image;
      width = bitmap.width(), height = bitmap.height();
      upload.resize(width * height * 4);
      for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = bitmap.data() + y * bitmap.bytesPerRow();
        std::uint8_t* out = upload.data() + y * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
          if (bitmap.pixelFormat() == CGImagePixelFormat::gray8) {
            out[x * 4] = out[x * 4 + 1] = out[x * 4 + 2] = in[x];
            out[x * 4 + 3] = 255;
          } else {
            out[x * 4] = in[x * 4 + 1], out[x * 4 + 1] = in[x * 4 + 2], out[x * 4 + 2] = in[x * 4 + 3];
            out[x * 4 + 3] = in[x * 4];
          }
        }
      }
    }
    // Premultiplied, as the blending and filtering expect.
    for (std::size_t i = 0; i < width * height; ++i) {
      std::uint8_t* p = &upload[i * 4];
      for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((p[c] * p[3] + 127) / 255);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, sourceTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, upload.data());
    return true;
  }

  void uploadKey(const vImageMultidimensionalTable& table) {
    if (keyLoaded == &table) return;
    const auto n = static_cast<GLsizei>(table.gridPoints());
    std::vector<float> values(static_cast<std::size_t>(n) * n * n);
    for (GLsizei r = 0; r < n; ++r) {
      for (GLsizei g = 0; g < n; ++g) {
        for (GLsizei b = 0; b < n; ++b) {
          const float last = static_cast<float>(n - 1);
          values[(static_cast<std::size_t>(r) * n + g) * n + b] = table.lookup(r / last, g / last, b / last);
        }
      }
    }
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_3D, keyTexture);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_R32F, n, n, n, 0, GL_RED, GL_FLOAT, values.data());
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    keyLoaded = &table;
  }
};

namespace {

// The surfaceless display is one per process and shared by every evaluator:
// initialised once and never terminated, since terminating it would pull the
// driver from under the contexts of evaluators still alive.
EGLDisplay sharedDisplay() {
  static const EGLDisplay display = [] {
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    const EGLDisplay surfaceless = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (surfaceless == EGL_NO_DISPLAY || !eglInitialize(surfaceless, nullptr, nullptr)) return EGL_NO_DISPLAY;
    return surfaceless;
  }();
  return display;
}

}  // namespace

std::unique_ptr<CIGPUEvaluator> CIGPUEvaluator::make(CIFormat workingFormat) {
  auto state = std::make_unique<State>();
  state->display = sharedDisplay();
  if (state->display == EGL_NO_DISPLAY) return nullptr;
  const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                     EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  eglBindAPI(EGL_OPENGL_ES_API);
  eglChooseConfig(state->display, configAttributes, &config, 1, &count);
  const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
  state->context = eglCreateContext(state->display, count > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                                    contextAttributes);
  if (state->context == EGL_NO_CONTEXT ||
      !eglMakeCurrent(state->display, EGL_NO_SURFACE, EGL_NO_SURFACE, state->context)) {
    return nullptr;
  }
  const GLuint vertex = compile(GL_VERTEX_SHADER, vertexShader);
  const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentShader);
  if (!vertex || !fragment) return nullptr;
  state->program = glCreateProgram();
  glAttachShader(state->program, vertex);
  glAttachShader(state->program, fragment);
  glBindAttribLocation(state->program, 0, "position");
  glLinkProgram(state->program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint linked = 0;
  glGetProgramiv(state->program, GL_LINK_STATUS, &linked);
  if (!linked) return nullptr;
  const float quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  glGenVertexArrays(1, &state->vertexArray);
  glBindVertexArray(state->vertexArray);
  glGenBuffers(1, &state->vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, state->vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  glGenFramebuffers(1, &state->framebuffer);
  GLuint textures[3];
  glGenTextures(3, textures);
  state->target = textures[0], state->sourceTexture = textures[1], state->keyTexture = textures[2];
  glBindTexture(GL_TEXTURE_2D, state->sourceTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  if (glGetError() != GL_NO_ERROR) return nullptr;
  state->isHalfFloatTarget = workingFormat == CIFormat::RGBAh && hasExtension("GL_EXT_color_buffer_float");
  return std::unique_ptr<CIGPUEvaluator>(new CIGPUEvaluator(std::move(state)));
}

CIGPUEvaluator::CIGPUEvaluator(std::unique_ptr<State> state) : state_(std::move(state)) {}

CIGPUEvaluator::~CIGPUEvaluator() = default;

bool CIGPUEvaluator::renderARGB(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination) {
  State& s = *state_;
  std::vector<Layer>& layers = s.layers;
  layers.clear();
  if (!flatten(image, Layer{}, layers)) return false;
  if (!eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, s.context)) return false;
  const auto width = static_cast<GLsizei>(destination.width), height = static_cast<GLsizei>(destination.height);
  glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
  if (s.targetWidth != destination.width || s.targetHeight != destination.height) {
    glBindTexture(GL_TEXTURE_2D, s.target);
    if (s.isHalfFloatTarget) {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, width, height, 0, GL_RGBA, GL_HALF_FLOAT, nullptr);
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s.target, 0);
    s.targetWidth = destination.width, s.targetHeight = destination.height;
  }
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  glViewport(0, 0, width, height);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  glUseProgram(s.program);
  glBindVertexArray(s.vertexArray);
  glUniform2f(s.uniform("origin"), static_cast<float>(rect.origin.x), static_cast<float>(rect.origin.y));
  glUniform1i(s.uniform("source"), 0);
  glUniform1i(s.uniform("keyTable"), 1);
  glEnable(GL_SCISSOR_TEST);
  for (const Layer& layer : layers) {
    // Shade only the pixels the layer can reach.
    CGRect area = intersection(layer.clip, rect);
    if (layer.source) area = intersection(area, applying(layer.source->extent(), layer.toFinal));
    if (layer.mask) area = intersection(area, layer.mask->first);
    if (isEmpty(area)) continue;
    const double left = std::floor(area.origin.x - rect.origin.x), bottom = std::floor(area.origin.y - rect.origin.y);
    glScissor(static_cast<GLint>(left), static_cast<GLint>(bottom),
              static_cast<GLsizei>(std::ceil(area.origin.x + area.size.width - rect.origin.x) - left),
              static_cast<GLsizei>(std::ceil(area.origin.y + area.size.height - rect.origin.y) - bottom));
    std::size_t sourceWidth = 0, sourceHeight = 0;
    if (layer.source && !s.uploadSource(*layer.source, sourceWidth, sourceHeight)) return false;
    glUniform1i(s.uniform("kind"), layer.source ? 1 : 0);
    glUniform4f(s.uniform("color"), layer.color.red, layer.color.green, layer.color.blue, layer.color.alpha);
    glUniform2f(s.uniform("sourceSize"), static_cast<float>(sourceWidth), static_cast<float>(sourceHeight));
    const CGAffineTransform t = inverted(layer.toFinal);
    const float toSource[9] = {static_cast<float>(t.a),  static_cast<float>(t.b),  0,
                               static_cast<float>(t.c),  static_cast<float>(t.d),  0,
                               static_cast<float>(t.tx), static_cast<float>(t.ty), 1};
    glUniformMatrix3fv(s.uniform("toSource"), 1, GL_FALSE, toSource);
    const CGRect& c = layer.clip;
    glUniform4f(s.uniform("clip"), static_cast<float>(std::max(c.origin.x, -1e9)),
                static_cast<float>(std::max(c.origin.y, -1e9)),
                static_cast<float>(std::min(c.origin.x + c.size.width, 1e9)),
                static_cast<float>(std::min(c.origin.y + c.size.height, 1e9)));
    glUniform1i(s.uniform("hasMask"), layer.mask ? 1 : 0);
    if (layer.mask) {
      const CGRect& m = layer.mask->first;
      glUniform4f(s.uniform("maskRect"), static_cast<float>(m.origin.x), static_cast<float>(m.origin.y),
                  static_cast<float>(m.size.width), static_cast<float>(m.size.height));
      glUniform1f(s.uniform("maskRadius"), static_cast<float>(layer.mask->second));
    }
    glUniform1i(s.uniform("hasKey"), layer.key ? 1 : 0);
    if (layer.key) {
      s.uploadKey(*layer.key);
      glUniform1i(s.uniform("keyGrid"), static_cast<GLint>(layer.key->gridPoints()));
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  }
  // GL rows run bottom-up and hold premultiplied RGBA; ours run top-down, straight ARGB.
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (s.isHalfFloatTarget) {
    s.readbackFloat.resize(destination.width * destination.height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, s.readbackFloat.data());
    if (glGetError() != GL_NO_ERROR) return false;
    for (std::size_t row = 0; row < destination.height; ++row) {
      const float* in = s.readbackFloat.data() + (destination.height - 1 - row) * destination.width * 4;
      std::uint8_t* out = destination.row(row);
      for (std::size_t x = 0; x < destination.width; ++x) {
        storeStraight(in[x * 4], in[x * 4 + 1], in[x * 4 + 2], in[x * 4 + 3], out + x * 4);
      }
    }
    return true;
  }
  s.readback.resize(destination.width * destination.height * 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, s.readback.data());
  if (glGetError() != GL_NO_ERROR) return false;
  for (std::size_t row = 0; row < destination.height; ++row) {
    const std::uint8_t* in = s.readback.data() + (destination.height - 1 - row) * destination.width * 4;
    std::uint8_t* out = destination.row(row);
    for (std::size_t x = 0; x < destination.width; ++x) {
      const unsigned alpha = in[x * 4 + 3];
      out[x * 4] = static_cast<std::uint8_t>(alpha);
      for (int c = 0; c < 3; ++c) {
        out[x * 4 + 1 + c] =
            alpha ? static_cast<std::uint8_t>(std::min(255u, (in[x * 4 + c] * 255u + alpha / 2) / alpha)) : 0;
      }
    }
  }
  return true;
}

}  // namespace platform
