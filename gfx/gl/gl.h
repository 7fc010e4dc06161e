#pragma once

// The GL foundation in one include: the error check (gfx::gl_check and the GL_CHECK macro)
// and the move-only owners of GL objects, all in namespace gfx. Every wrapper keeps its
// name in m_id (read it with id()); a moved-from or NoCreate-built wrapper holds 0 and is
// safe to destroy. Render thread only.

#include "gfx/gl/Buffer.h"
#include "gfx/gl/Framebuffer.h"
#include "gfx/gl/GlCheck.h"
#include "gfx/gl/NoCreate.h"
#include "gfx/gl/Renderbuffer.h"
#include "gfx/gl/Texture.h"
#include "gfx/gl/VertexArray.h"
