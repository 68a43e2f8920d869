#pragma once
// A multi-image document: an ordered set of raster images of different sizes and colour depths, one
// of which is selected, as an icon file holds them. Three layers:
//   TContainer            an ordered list that owns its images;
//   TSelectableContainer  such a list plus a non-owning record of which images are selected;
//   TOrbMultiImage        the abstract document: creates images of its own image class, admits only
//                         what its subclass allows and keeps the image it added last selected.
// Lists are walked with iterators that yield the images themselves. An index outside the list
// throws std::out_of_range; nothing ever hands out an entry that is not there.

#include "image/Bitmap.h"
#include "image/CommonTypes.h"
#include "image/OrbImage.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

namespace gw {

// Walks a list of image pointers (owning or not) and yields the images.
template <class Base, class Value> class TItemIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::remove_const_t<Value>;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;

    TItemIterator() = default;
    explicit TItemIterator(Base it) : FIt(it) {}
    Value& operator*() const { return **FIt; }
    Value* operator->() const { return &**FIt; }
    TItemIterator& operator++() {
        ++FIt;
        return *this;
    }
    TItemIterator operator++(int) {
        TItemIterator old = *this;
        ++FIt;
        return old;
    }
    friend bool operator==(const TItemIterator&, const TItemIterator&) = default;

private:
    Base FIt{};
};

// An ordered list of images that owns them: removing, replacing or clearing an entry frees it.
class TContainer {
    using TList = std::vector<std::unique_ptr<TOrbImage>>;

public:
    using iterator = TItemIterator<TList::const_iterator, TOrbImage>;
    using const_iterator = TItemIterator<TList::const_iterator, const TOrbImage>;

    TContainer() = default;
    TContainer(const TContainer&) = delete;
    TContainer& operator=(const TContainer&) = delete;

    // Appends obj and returns its index. A null obj throws std::invalid_argument.
    std::int32_t Add(std::unique_ptr<TOrbImage> obj);
    // Inserts obj before position index (0 .. Count()).
    void Insert(std::int32_t index, std::unique_ptr<TOrbImage> obj);
    // Frees the first occurrence of obj; its former index, or -1 (nothing freed) when absent.
    std::int32_t Remove(const TOrbImage* obj);
    void Delete(std::int32_t index);
    std::int32_t IndexOf(const TOrbImage* obj) const;
    // Swaps two entries; nothing is freed.
    void Exchange(std::int32_t index1, std::int32_t index2);
    void Clear() { FList.clear(); }

    TOrbImage& GetItem(std::int32_t index);
    const TOrbImage& GetItem(std::int32_t index) const;
    TOrbImage& operator[](std::int32_t index) { return GetItem(index); }
    const TOrbImage& operator[](std::int32_t index) const { return GetItem(index); }
    // Puts item at index and frees the image that was there.
    void SetItem(std::int32_t index, std::unique_ptr<TOrbImage> item);

    std::int32_t GetCount() const { return static_cast<std::int32_t>(FList.size()); }
    std::int32_t Count() const { return GetCount(); }

    iterator begin() { return iterator(FList.cbegin()); }
    iterator end() { return iterator(FList.cend()); }
    const_iterator begin() const { return const_iterator(FList.cbegin()); }
    const_iterator end() const { return const_iterator(FList.cend()); }

private:
    TList FList;
};

class TSelectableContainer;

// Walks the selected images of a TSelectableContainer in the order in which they were selected.
// A light view: it must not outlive the container.
class TSelectedEnumeratorFactory {
    using TList = std::vector<TOrbImage*>;

public:
    using iterator = TItemIterator<TList::const_iterator, TOrbImage>;

    explicit TSelectedEnumeratorFactory(const TSelectableContainer& selected) : FSelected(&selected) {}
    iterator begin() const;
    iterator end() const;

private:
    const TSelectableContainer* FSelected;
};

// An owning list of images plus the selection, a non-owning list of some of them in selection order.
// Images leave the selection when they leave the list, so the selection never refers to a freed image.
class TSelectableContainer {
public:
    using iterator = TContainer::iterator;
    using const_iterator = TContainer::const_iterator;

    TSelectableContainer() = default;
    TSelectableContainer(const TSelectableContainer&) = delete;
    TSelectableContainer& operator=(const TSelectableContainer&) = delete;

    // Add and Insert leave the new image unselected.
    std::int32_t Add(std::unique_ptr<TOrbImage> obj) { return FList.Add(std::move(obj)); }
    void Insert(std::int32_t index, std::unique_ptr<TOrbImage> obj) { FList.Insert(index, std::move(obj)); }
    // Unselects and frees obj; its former index or -1.
    std::int32_t Remove(const TOrbImage* obj);
    // Unselects and frees the image at index.
    void Delete(std::int32_t index);
    // Unselects and frees the image at index and puts item (unselected) in its place.
    void SetItem(std::int32_t index, std::unique_ptr<TOrbImage> item);
    void Clear();

    std::int32_t IndexOf(const TOrbImage* obj) const { return FList.IndexOf(obj); }
    // Swaps two images; the selection follows the images, not the positions.
    void Exchange(std::int32_t index1, std::int32_t index2) { FList.Exchange(index1, index2); }
    TOrbImage& GetItem(std::int32_t index) { return FList.GetItem(index); }
    const TOrbImage& GetItem(std::int32_t index) const { return FList.GetItem(index); }
    TOrbImage& operator[](std::int32_t index) { return FList.GetItem(index); }
    const TOrbImage& operator[](std::int32_t index) const { return FList.GetItem(index); }
    std::int32_t GetCount() const { return FList.GetCount(); }
    std::int32_t Count() const { return FList.GetCount(); }

    // obj's position in the selection; appended first when not yet selected. An image that is not in
    // this container is not selected and gives -1.
    std::int32_t Select(TOrbImage& obj);
    // Removes obj from the selection; its former position there, or -1.
    std::int32_t UnSelect(const TOrbImage* obj);
    bool IsSelected(const TOrbImage* obj) const;
    // Empties the selection; no image is freed.
    void UnSelectAll() { FSelectedList.clear(); }
    std::int32_t GetSelecedCount() const { return static_cast<std::int32_t>(FSelectedList.size()); }
    std::int32_t SelecedCount() const { return GetSelecedCount(); }
    // The index-th selected image, in selection order.
    TOrbImage& GetSelectedItem(std::int32_t index) const;
    TSelectedEnumeratorFactory Selected() const { return TSelectedEnumeratorFactory(*this); }

    iterator begin() { return FList.begin(); }
    iterator end() { return FList.end(); }
    const_iterator begin() const { return FList.begin(); }
    const_iterator end() const { return FList.end(); }

private:
    friend class TSelectedEnumeratorFactory;
    TContainer FList;
    std::vector<TOrbImage*> FSelectedList;
};

// The class of the images a document creates and accepts: TOrbImage or one of its subclasses.
class TTOrbImageClass {
public:
    template <class T> static TTOrbImageClass Of() {
        static_assert(std::is_base_of_v<TOrbImage, T>, "an image class derives from TOrbImage");
        return TTOrbImageClass(
            [](std::int32_t width, std::int32_t height, std::uint8_t bitCount) -> std::unique_ptr<TOrbImage> {
                return std::make_unique<T>(width, height, bitCount);
            },
            [](const TOrbImage& img) {
                if constexpr (std::is_same_v<T, TOrbImage>)
                    return true; // every image is a TOrbImage
                else
                    return dynamic_cast<const T*>(&img) != nullptr;
            });
    }

    // A new image of this class (see TOrbImage's constructor).
    std::unique_ptr<TOrbImage> Create(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const {
        return FCreate(width, height, bitCount);
    }
    // True when img is an instance of this class or of a subclass of it.
    bool IsInstance(const TOrbImage& img) const { return FIsInstance(img); }

private:
    using TCreate = std::unique_ptr<TOrbImage> (*)(std::int32_t, std::int32_t, std::uint8_t);
    using TIsInstance = bool (*)(const TOrbImage&);
    TTOrbImageClass(TCreate create, TIsInstance isInstance) : FCreate(create), FIsInstance(isInstance) {}
    TCreate FCreate;
    TIsInstance FIsInstance;
};

// The abstract multi-image document. Refusals are results (-1 or false) and leave the document
// unchanged. After any operation that adds an image, exactly that image is selected.
class TOrbMultiImage {
public:
    TOrbMultiImage() = default;
    virtual ~TOrbMultiImage() = default;
    TOrbMultiImage(const TOrbMultiImage&) = delete;
    TOrbMultiImage& operator=(const TOrbMultiImage&) = delete;

    // Where an image of this size and depth belongs, or -1 when it is not admitted.
    virtual std::int32_t GetInsertIndex(std::int32_t width, std::int32_t height,
                                        std::uint8_t bitCount) const = 0;
    // Whether an image of this size and depth may join the document.
    virtual bool CanInsertImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const = 0;
    // A new document of the same class with copies of all images; owned by the caller.
    virtual std::unique_ptr<TOrbMultiImage> Clone() const = 0;

    // The selected image's zoom; 100 (a new image's zoom) when nothing is selected.
    virtual std::int32_t GetZoom() const;
    // Sets the selected image's zoom; nothing happens when nothing is selected.
    virtual void SetZoom(std::int32_t zoom);

    // Creates a transparent image at the position GetInsertIndex chooses; its index or -1.
    virtual std::int32_t InsertNewImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount);
    // Creates a transparent image at index (0 .. ImageCount(), else std::out_of_range); index or -1.
    virtual std::int32_t InsertNewImage(std::int32_t width, std::int32_t height, std::int32_t index,
                                        std::uint8_t bitCount);
    // Creates a transparent image at the end; its index or -1.
    virtual std::int32_t AddNewImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount);
    // Takes img when it is of the document's image class and admitted: img is moved from and the new
    // index returned. On -1 img is left untouched and stays the caller's.
    virtual std::int32_t AddNewImage(std::unique_ptr<TOrbImage>& img);

    // Resizes or crops the selected image; false (nothing changed) when the new size is not admitted
    // or nothing is selected.
    virtual bool Resize(std::int32_t width, std::int32_t height, bool resizeImage);
    virtual bool Crop(const TGPRect& rect);
    // Rotates the selected image by a quarter turn; false when the turned size is taken by another
    // image of the same depth, or nothing is selected. A square image always turns.
    virtual bool RotateLeft();
    virtual bool RotateRight();

    std::int32_t GetImageCount() const { return FItems.GetCount(); }
    std::int32_t ImageCount() const { return GetImageCount(); }
    // The first selected image, or nullptr.
    TOrbImage* Selected() const;
    // Makes img the only selected image and calls SelectionChanged, unless it already is the
    // selected image. An image that is not in this document is ignored.
    void Select(TOrbImage& img);
    // Select of the image at idx; nothing when idx is outside 0 .. ImageCount() - 1.
    void Select(std::int32_t idx);
    // Frees the image at index; when nothing is selected afterwards the first image is selected.
    void DeleteImage(std::int32_t index);
    // Swaps two images and calls ImagesExchanged.
    void Exchange(std::int32_t index1, std::int32_t index2);
    // Swaps two images without calling any hook.
    void SwapImages(std::int32_t index1, std::int32_t index2) { FItems.Exchange(index1, index2); }
    // Index of the first image of this size and depth, or -1.
    std::int32_t GetImage(std::int32_t width, std::int32_t height, std::uint8_t bitCount) const;
    // Replaces dest's images with copies of this document's images, offered in order to dest's
    // AddNewImage, then selects in dest the position of this document's selected image.
    void CopyImagesTo(TOrbMultiImage& dest) const;

    TSelectableContainer& Image() { return FItems; }
    const TSelectableContainer& Image() const { return FItems; }
    const TTOrbImageClass& GetImageType() const { return ImageType; }

    bool Saved() const { return FSaved; }
    void SetSaved(bool value) { FSaved = value; }
    bool Verbose() const { return FVerbose; }
    void SetVerbose(bool value) { FVerbose = value; }
    TFileTypes PreferedExtension() const { return FPreferedExtension; }
    void SetPreferedExtension(TFileTypes value) { FPreferedExtension = value; }

protected:
    // Called after Select changed the selection.
    virtual void SelectionChanged() {}
    // Called after Exchange.
    virtual void ImagesExchanged() {}

    // The class of the images this document creates and accepts.
    TTOrbImageClass ImageType = TTOrbImageClass::Of<TOrbImage>();
    bool FSaved = false;
    bool FVerbose = true;
    TFileTypes FPreferedExtension = TFileTypes::ftOther;

private:
    // Creates and places an admitted image; -1 when the size cannot be allocated.
    std::int32_t PlaceNewImage(std::int32_t width, std::int32_t height, std::int32_t index,
                               std::uint8_t bitCount);
    bool Rotate(bool left);

    TSelectableContainer FItems;
};

} // namespace gw
