"""The benchmarks' photograph: 4000 x 3000, made with Pillow, never committed.

Smooth shapes, blurred, with a grain on top, so that it costs a decoder about what a
photograph costs (about 4.8 MB as a quality 90 JPEG).
"""
from PIL import Image, ImageFilter

WIDTH, HEIGHT = 4000, 3000


def make_picture(seed=0):
    left = -2.2 + 0.15 * seed
    shape = Image.effect_mandelbrot((WIDTH // 8, HEIGHT // 8), (left, -1.2, left + 3.2, 1.2), 60)
    red = shape.resize((WIDTH, HEIGHT), Image.Resampling.BICUBIC)
    green = Image.linear_gradient("L").rotate(90 * seed).resize((WIDTH, HEIGHT))
    blue = Image.radial_gradient("L").resize((WIDTH, HEIGHT))
    picture = Image.merge("RGB", (red, green, blue)).filter(ImageFilter.GaussianBlur(3))
    grain = Image.effect_noise((WIDTH, HEIGHT), 40).convert("RGB")
    return Image.blend(picture, grain, 0.3)
