// The star shape table (binding 4): entry 0 the centre, entries 1 to 8 the
// rim of the near stars' octagon. "Circle" has the rim as bright as the
// centre, "Fuzzy" a dark rim sqrt(3) times further out.
struct ShapeReferenceStruct {
    float dx, dy, intensity;
    int dummy;
};
layout(std430, set = 0, binding = 4) readonly buffer Shape {
    ShapeReferenceStruct s[];
} shape;

bool circleShape() { return shape.s[1].intensity > 0.0; }
