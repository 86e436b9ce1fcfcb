#pragma once
// A Renderer that keeps every call in order, for checking what the video window draws and where.
#include <cstdint>
#include <string>
#include <vector>

#include "display/renderer.h"

namespace tamlorex::test {

struct DrawCall {
    enum class Kind { Reset, Picture, Empty, Text, Present, PicturesCleared };
    Kind kind = Kind::Reset;
    Rect rect;               // Picture, Empty, Present
    int width = 0;           // Picture (picture size), Reset (client size)
    int height = 0;
    std::uint8_t firstByte = 0;  // Picture: first luma byte and last chroma byte
    std::uint8_t lastByte = 0;
    int x = 0;  // Text
    int y = 0;
    std::string text;
    std::uint32_t color = 0;
    OsdFont font;
};

class RecordingRenderer : public Renderer {
public:
    void Reset(int clientWidth, int clientHeight) override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::Reset;
        call.width = clientWidth;
        call.height = clientHeight;
        calls.push_back(call);
    }
    void DrawPicture(const Rect& pane, const std::uint8_t* yuv, int width, int height) override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::Picture;
        call.rect = pane;
        call.width = width;
        call.height = height;
        call.firstByte = yuv[0];
        call.lastByte = yuv[static_cast<std::size_t>(width) * height * 3 / 2 - 1];
        calls.push_back(call);
    }
    void DrawEmpty(const Rect& pane) override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::Empty;
        call.rect = pane;
        calls.push_back(call);
    }
    void DrawText(int x, int y, const std::string& text, std::uint32_t color, const OsdFont& font) override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::Text;
        call.x = x;
        call.y = y;
        call.text = text;
        call.color = color;
        call.font = font;
        calls.push_back(call);
    }
    void Present(const Rect& area) override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::Present;
        call.rect = area;
        calls.push_back(call);
    }
    void PicturesCleared() override
    {
        DrawCall call;
        call.kind = DrawCall::Kind::PicturesCleared;
        calls.push_back(call);
    }

    std::vector<DrawCall> Of(DrawCall::Kind kind) const
    {
        std::vector<DrawCall> out;
        for (const DrawCall& call : calls)
            if (call.kind == kind) out.push_back(call);
        return out;
    }
    // The text of every final (text-colour) pass, i.e. every ninth text call.
    std::vector<std::string> OsdTexts() const
    {
        std::vector<std::string> out;
        const std::vector<DrawCall> texts = Of(DrawCall::Kind::Text);
        for (std::size_t i = 8; i < texts.size(); i += 9) out.push_back(texts[i].text);
        return out;
    }

    std::vector<DrawCall> calls;
};

}  // namespace tamlorex::test
