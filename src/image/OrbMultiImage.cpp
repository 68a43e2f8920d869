#include "image/OrbMultiImage.h"

#include "image/Limits.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace gw {

namespace {

// Throws the list-index error unless 0 <= index < limit (index <= limit for an insert position).
void CheckIndex(std::int32_t index, std::int32_t limit, const char* what) {
    if (index < 0 || index >= limit)
        throw std::out_of_range(std::string(what) + ": index " + std::to_string(index) + " outside 0.." +
                                std::to_string(limit - 1));
}

std::size_t At(std::int32_t index) {
    return static_cast<std::size_t>(index);
}

} // namespace

// ---- TContainer --------------------------------------------------------------------------------

std::int32_t TContainer::Add(std::unique_ptr<TOrbImage> obj) {
    Insert(GetCount(), std::move(obj));
    return GetCount() - 1;
}

void TContainer::Insert(std::int32_t index, std::unique_ptr<TOrbImage> obj) {
    CheckIndex(index, GetCount() + 1, "image list insert");
    if (!obj)
        throw std::invalid_argument("image list: cannot hold a null image");
    FList.insert(FList.begin() + index, std::move(obj));
}

std::int32_t TContainer::Remove(const TOrbImage* obj) {
    const std::int32_t index = IndexOf(obj);
    if (index >= 0)
        FList.erase(FList.begin() + index);
    return index;
}

void TContainer::Delete(std::int32_t index) {
    CheckIndex(index, GetCount(), "image list delete");
    FList.erase(FList.begin() + index);
}

std::int32_t TContainer::IndexOf(const TOrbImage* obj) const {
    const auto found =
        std::find_if(FList.begin(), FList.end(), [obj](const auto& item) { return item.get() == obj; });
    return found == FList.end() ? -1 : static_cast<std::int32_t>(found - FList.begin());
}

void TContainer::Exchange(std::int32_t index1, std::int32_t index2) {
    CheckIndex(index1, GetCount(), "image list exchange");
    CheckIndex(index2, GetCount(), "image list exchange");
    std::swap(FList[At(index1)], FList[At(index2)]);
}

TOrbImage& TContainer::GetItem(std::int32_t index) {
    CheckIndex(index, GetCount(), "image list");
    return *FList[At(index)];
}

const TOrbImage& TContainer::GetItem(std::int32_t index) const {
    CheckIndex(index, GetCount(), "image list");
    return *FList[At(index)];
}

void TContainer::SetItem(std::int32_t index, std::unique_ptr<TOrbImage> item) {
    CheckIndex(index, GetCount(), "image list");
    if (!item)
        throw std::invalid_argument("image list: cannot hold a null image");
    FList[At(index)] = std::move(item);
}

// ---- TSelectedEnumeratorFactory -----------------------------------------------------------------

TSelectedEnumeratorFactory::iterator TSelectedEnumeratorFactory::begin() const {
    return iterator(FSelected->FSelectedList.cbegin());
}

TSelectedEnumeratorFactory::iterator TSelectedEnumeratorFactory::end() const {
    return iterator(FSelected->FSelectedList.cend());
}

// ---- TSelectableContainer -----------------------------------------------------------------------

std::int32_t TSelectableContainer::Remove(const TOrbImage* obj) {
    UnSelect(obj);
    return FList.Remove(obj);
}

void TSelectableContainer::Delete(std::int32_t index) {
    UnSelect(&FList.GetItem(index));
    FList.Delete(index);
}

void TSelectableContainer::SetItem(std::int32_t index, std::unique_ptr<TOrbImage> item) {
    TOrbImage& old = FList.GetItem(index);
    if (!item)
        throw std::invalid_argument("image list: cannot hold a null image");
    UnSelect(&old);
    FList.SetItem(index, std::move(item));
}

void TSelectableContainer::Clear() {
    FSelectedList.clear();
    FList.Clear();
}

std::int32_t TSelectableContainer::Select(TOrbImage& obj) {
    // NOTE: the selection does not own its images, so it only ever records images of this container;
    // anything else could be freed behind its back.
    const auto found = std::find(FSelectedList.begin(), FSelectedList.end(), &obj);
    if (found != FSelectedList.end())
        return static_cast<std::int32_t>(found - FSelectedList.begin());
    if (FList.IndexOf(&obj) < 0)
        return -1;
    FSelectedList.push_back(&obj);
    return GetSelecedCount() - 1;
}

std::int32_t TSelectableContainer::UnSelect(const TOrbImage* obj) {
    const auto found = std::find(FSelectedList.begin(), FSelectedList.end(), obj);
    if (found == FSelectedList.end())
        return -1;
    const auto position = static_cast<std::int32_t>(found - FSelectedList.begin());
    FSelectedList.erase(found);
    return position;
}

bool TSelectableContainer::IsSelected(const TOrbImage* obj) const {
    return std::find(FSelectedList.begin(), FSelectedList.end(), obj) != FSelectedList.end();
}

TOrbImage& TSelectableContainer::GetSelectedItem(std::int32_t index) const {
    CheckIndex(index, GetSelecedCount(), "selection");
    return *FSelectedList[At(index)];
}

// ---- TOrbMultiImage -----------------------------------------------------------------------------

std::int32_t TOrbMultiImage::GetZoom() const {
    const TOrbImage* selected = Selected();
    return selected ? selected->Zoom() : 100;
}

void TOrbMultiImage::SetZoom(std::int32_t zoom) {
    if (TOrbImage* selected = Selected())
        selected->SetZoom(zoom);
}

std::int32_t TOrbMultiImage::InsertNewImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) {
    const std::int32_t index = GetInsertIndex(width, height, bitCount);
    if (index < 0)
        return -1;
    return InsertNewImage(width, height, index, bitCount);
}

std::int32_t TOrbMultiImage::InsertNewImage(std::int32_t width, std::int32_t height, std::int32_t index,
                                            std::uint8_t bitCount) {
    if (!CanInsertImage(width, height, bitCount))
        return -1;
    CheckIndex(index, GetImageCount() + 1, "image insert");
    return PlaceNewImage(width, height, index, bitCount);
}

std::int32_t TOrbMultiImage::AddNewImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) {
    if (!CanInsertImage(width, height, bitCount))
        return -1;
    return PlaceNewImage(width, height, GetImageCount(), bitCount);
}

std::int32_t TOrbMultiImage::PlaceNewImage(std::int32_t width, std::int32_t height, std::int32_t index,
                                           std::uint8_t bitCount) {
    // A size the bitmap would refuse gives an empty image whose size no longer matches the request,
    // which would let "one image per size and depth" be bypassed; such sizes are not admitted.
    if (!limits::FitsBitmapLimits(width, height))
        return -1;
    std::unique_ptr<TOrbImage> img = ImageType.Create(width, height, bitCount);
    TOrbImage& added = *img;
    FItems.Insert(index, std::move(img));
    Select(added);
    return index;
}

std::int32_t TOrbMultiImage::AddNewImage(std::unique_ptr<TOrbImage>& img) {
    if (!img || !ImageType.IsInstance(*img) || !img->Bitmap().IsValid())
        return -1;
    if (!CanInsertImage(img->Width(), img->Height(), img->DataType()))
        return -1;
    TOrbImage& added = *img;
    const std::int32_t index = FItems.Add(std::move(img));
    Select(added);
    return index;
}

bool TOrbMultiImage::Resize(std::int32_t width, std::int32_t height, bool resizeImage) {
    TOrbImage* selected = Selected();
    if (!selected || !limits::FitsBitmapLimits(width, height) ||
        !CanInsertImage(width, height, selected->DataType()))
        return false;
    selected->Resize(width, height, resizeImage);
    return true;
}

bool TOrbMultiImage::Crop(const TGPRect& rect) {
    TOrbImage* selected = Selected();
    if (!selected || !limits::FitsBitmapLimits(rect.Width, rect.Height) ||
        !CanInsertImage(rect.Width, rect.Height, selected->DataType()))
        return false;
    selected->Crop(rect);
    return true;
}

bool TOrbMultiImage::RotateLeft() {
    return Rotate(true);
}
bool TOrbMultiImage::RotateRight() {
    return Rotate(false);
}

bool TOrbMultiImage::Rotate(bool left) {
    TOrbImage* selected = Selected();
    if (!selected)
        return false;
    const std::int32_t w = selected->Width();
    const std::int32_t h = selected->Height();
    // A square image is always admitted at its own size, so only a real change of shape is checked.
    if (h != w && !CanInsertImage(h, w, selected->DataType()))
        return false;
    if (left)
        selected->RotateLeft();
    else
        selected->RotateRight();
    return true;
}

TOrbImage* TOrbMultiImage::Selected() const {
    return FItems.GetSelecedCount() > 0 ? &FItems.GetSelectedItem(0) : nullptr;
}

void TOrbMultiImage::Select(TOrbImage& img) {
    if (Selected() == &img || FItems.IndexOf(&img) < 0)
        return;
    FItems.UnSelectAll();
    FItems.Select(img);
    SelectionChanged();
}

void TOrbMultiImage::Select(std::int32_t idx) {
    if (idx >= 0 && idx < GetImageCount())
        Select(FItems.GetItem(idx));
}

void TOrbMultiImage::DeleteImage(std::int32_t index) {
    FItems.Delete(index);
    if (FItems.GetSelecedCount() == 0 && GetImageCount() > 0)
        Select(0);
}

void TOrbMultiImage::Exchange(std::int32_t index1, std::int32_t index2) {
    FItems.Exchange(index1, index2);
    ImagesExchanged();
}

std::int32_t TOrbMultiImage::GetImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const {
    std::int32_t index = 0;
    for (const TOrbImage& img : FItems) {
        if (img.Width() == width && img.Height() == height && img.DataType() == bitCount)
            return index;
        ++index;
    }
    return -1;
}

void TOrbMultiImage::CopyImagesTo(TOrbMultiImage& dest) const {
    // Copying a document onto itself would clear the very images it is about to copy.
    if (&dest == this)
        return;
    dest.FItems.Clear();
    for (const TOrbImage& source : FItems) {
        std::unique_ptr<TOrbImage> copy = ImageType.Create(1, 1, 32);
        copy->Copy(source);
        dest.AddNewImage(copy); // a copy dest refuses is freed here
    }
    const TOrbImage* selected = Selected();
    dest.Select(selected ? FItems.IndexOf(selected) : -1);
}

} // namespace gw
